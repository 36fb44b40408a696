#!/usr/bin/env bash
# build.sh DIR [CMAKE_ARG...] [-- TARGET...]: configures and builds the tree DIR (every
# target, or only those named after "--"), with warnings as errors unless the arguments
# say -DSNIPWAVE_WERROR=OFF. Configuring again with the same arguments changes nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1; shift
args=() targets=()
while [ $# -gt 0 ]; do
  if [ "$1" = -- ]; then shift; targets=("$@"); break; fi
  args+=("$1"); shift
done
# ccache (installed by install-deps.sh) makes a rebuild of a second tree, or of the same
# sources after a branch switch, cheap; a build without it works the same, only slower.
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# The tests' sources take a precompiled header; ccache caches those only with this
# setting (without it they are compiled every time, correctly).
export CCACHE_SLOPPINESS=pch_defines,time_macros
cmake -S . -B "$dir" -G Ninja -DSNIPWAVE_WERROR=ON "${launcher[@]}" "${args[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)" ${targets[@]:+--target "${targets[@]}"}
