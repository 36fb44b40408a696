#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds the program and opens its window.
# (On a machine without a display the program says so and names snipwave-cli instead.)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSNIPWAVE_WERROR=OFF
exec build/app/snipwave "$@"
