#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds everything and runs every test:
# once as a normal build, once under AddressSanitizer + UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
ctest --test-dir build --output-on-failure -j "$(nproc)"

scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DSNIPWAVE_SANITIZE=address,undefined
ctest --test-dir build-asan --output-on-failure -j "$(nproc)"
