#!/usr/bin/env bash
# A user's own configuration (any build type) shows warnings without stopping on them;
# SNIPWAVE_WERROR=ON, which scripts/build.sh and the test command use, makes them errors.
# The release build of the loader, where GCC 12 once saw a false overlap, compiles under it.
set -euo pipefail
src=$(cd "$(dirname "$0")/../.." && pwd)
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cmake -S "$src" -B "$tmp/user" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
grep -q -- "-Wall -Wextra" "$tmp/user/compile_commands.json" || fail "a user's build lost -Wall -Wextra"
! grep -q -- "-Werror" "$tmp/user/compile_commands.json" || fail "a user's build stops on warnings"

# ccache only when the machine has it: install-deps.sh installs it, a user's machine may not.
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
grep -q -- "-DSNIPWAVE_WERROR=ON" "$src/scripts/build.sh" || fail "scripts/build.sh does not ask for -Werror"
cmake -S "$src" -B "$tmp/user" -DSNIPWAVE_WERROR=ON "${launcher[@]}" >/dev/null
grep -q -- "-Werror" "$tmp/user/compile_commands.json" || fail "SNIPWAVE_WERROR=ON does not add -Werror"
cmake --build "$tmp/user" --target media/binding/CMakeFiles/sw_binding.dir/FFLoad.cpp.o >/dev/null ||
  fail "the loader does not compile as a release build with warnings as errors"
echo "ok"
