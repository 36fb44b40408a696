#!/usr/bin/env bash
# fuzz/run.sh SECONDS [libFuzzer options...]: builds the libFuzzer target with clang,
# AddressSanitizer and UndefinedBehaviorSanitizer into build-fuzz and runs it for SECONDS
# at the lowest CPU priority, starting from the seeds made from tests/data (the corpus
# grows in build-fuzz/corpus). Inputs that crash are saved under fuzz/crashes/; one that
# shows a fault of ours goes to fuzz/regressions/ once fixed, where the normal build's
# media_fuzz_replay test runs it.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?usage: fuzz/run.sh SECONDS [libFuzzer options...]}
shift
# libFuzzer comes with clang, which the normal build and the test run do not need.
command -v clang >/dev/null && command -v clang++ >/dev/null ||
  { echo "fuzz/run.sh needs clang (apt-get install clang)" >&2; exit 1; }
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DSNIPWAVE_FUZZ=ON -DSNIPWAVE_SANITIZE=address,undefined >/dev/null
nice -n 19 cmake --build build-fuzz --target media_fuzz
fuzz/make-corpus.sh build-fuzz/corpus
mkdir -p fuzz/crashes
export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
exec nice -n 19 build-fuzz/fuzz/media_fuzz -max_total_time="$seconds" -max_len=65536 -timeout=30 \
  -rss_limit_mb=2560 -artifact_prefix=fuzz/crashes/ -print_final_stats=1 "$@" build-fuzz/corpus
