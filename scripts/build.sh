#!/usr/bin/env bash
# build.sh DIR [cmake args...]: configures (once) and builds the tree into DIR, with
# warnings as errors unless the arguments say -DSNIPWAVE_WERROR=OFF.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1; shift
cmake -S . -B "$dir" -G Ninja -DSNIPWAVE_WERROR=ON "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
