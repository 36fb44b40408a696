#!/usr/bin/env bash
# bench/first_start.sh [REV]: the README's two commands as a new user meets them, on a
# fresh clone of REV (default HEAD) with the compiler cache switched off: the time from
# `bash scripts/run.sh` to the window (under xvfb-run; the window is closed once it shows),
# then the time of `bash scripts/test.sh` right after it up to its first test (its tests
# and its sanitizer half are the same either way). Prints wall and CPU seconds of each.
set -euo pipefail
rev=${1:-HEAD}
src=$(cd "$(dirname "$0")/.." && pwd)
for tool in xvfb-run xdotool git; do
  command -v "$tool" >/dev/null || { echo "needs $tool (scripts/install-deps.sh installs it)" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
git clone -q "$src" "$work/clone"
git -C "$work/clone" checkout -q "$rev"
export CCACHE_DISABLE=1
cd "$work/clone"

# The shell's own time keyword counts the CPU of every process a phase waited for.
TIMEFORMAT='%R %U %S'

{ time xvfb-run -a bash -c '
  bash scripts/run.sh >"$0/run.log" 2>&1 & pid=$!
  until xdotool search --onlyvisible --name "^Korvane Snip Wave\$" >/dev/null 2>&1; do
    kill -0 "$pid" 2>/dev/null || { echo "run.sh ended without a window" >&2; exit 1; }
    sleep 0.2
  done
  kill "$pid"; wait "$pid" || true' "$work"; } 2>"$work/run.time"

# A ctest that fails ends test.sh right after its first build.
mkdir "$work/stop"
printf '#!/bin/sh\nexit 3\n' >"$work/stop/ctest"; chmod +x "$work/stop/ctest"
{ time PATH="$work/stop:$PATH" bash scripts/test.sh >"$work/test.log" 2>&1 || true; } 2>"$work/test.time"

# The time line is the last one: xvfb-run may say things on the same stream before it.
read -r rw ru rs < <(tail -n 1 "$work/run.time")
read -r tw tu ts < <(tail -n 1 "$work/test.time")
awk -v rw="$rw" -v rc="$ru + $rs" -v tw="$tw" -v tc="$tu + $ts" -v rev="$rev" 'BEGIN {
  split(rc, r, " [+] "); split(tc, t, " [+] ")
  printf "%s: run.sh to the window %.0f s wall, %.0f s CPU; test.sh build after it %.0f s wall, %.0f s CPU\n",
    rev, rw, r[1] + r[2], tw, t[1] + t[2] }'
echo "targets built: run.sh $(grep -c '^\[' "$work/run.log" || true), test.sh $(grep -c '^\[' "$work/test.log" || true)"
