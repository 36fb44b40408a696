#!/usr/bin/env bash
# The sanitizer build's leak check at a process's exit: empty for a program that loaded
# the media libraries and freed what it took, and failing with the stack of an allocation
# that was lost.
# usage: leak_check.sh LEAK_PROBE MP3_FILE
set -u
probe=$1
file=$2
fail() {
  echo "FAIL: $*"
  exit 1
}
out=$("$probe" "$file" 2>&1) || fail "a run without a leak failed: $out"
! grep -q "LeakSanitizer" <<<"$out" || fail "a run without a leak has a leak report: $out"
out=$("$probe" "$file" leak 2>&1) && fail "a lost allocation did not fail the run: $out"
grep -q "Direct leak of 4242 byte(s) in 1 object(s)" <<<"$out" || fail "the lost allocation is not reported: $out"
grep -q "LoseAnAllocation" <<<"$out" || fail "the report's stack does not name where it was lost: $out"
[ "$(grep -c "leak of" <<<"$out")" -eq 1 ] || fail "the report holds more than the lost allocation: $out"
echo "ok"
