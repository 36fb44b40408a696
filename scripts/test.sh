#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds everything and runs every test:
# once as a normal build, once under AddressSanitizer + UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

# The test trees carry no full debug information: it doubles the compile and link time,
# and a failing test is rebuilt by hand. The sanitizer tree keeps line tables for its
# reports and runs at -O1, as the sanitizers advise.
scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 \
  -DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -DSNIPWAVE_WERROR=ON
ctest --test-dir build --output-on-failure -j "$(nproc)"

scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -g1" "-DCMAKE_C_FLAGS_DEBUG=-O1 -g1" \
  -DSNIPWAVE_WERROR=ON -DSNIPWAVE_SANITIZE=address,undefined
# Full unwinding lets the leak checker see through the libraries' own frames, so that
# their one-time start-up allocations can be told apart from ours.
ASAN_OPTIONS=fast_unwind_on_malloc=0:detect_leaks=1 \
LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0" \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$(nproc)"
