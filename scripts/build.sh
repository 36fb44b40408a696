#!/usr/bin/env bash
# build.sh DIR [cmake args...]: configures (once) and builds the tree into DIR, with
# warnings as errors unless the arguments say -DSNIPWAVE_WERROR=OFF.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1; shift
# ccache (installed by install-deps.sh) makes a rebuild of a second tree, or of the same
# sources after a branch switch, cheap; a build without it works the same, only slower.
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$dir" -G Ninja -DSNIPWAVE_WERROR=ON "${launcher[@]}" "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
