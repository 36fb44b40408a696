#!/usr/bin/env bash
# The built command-line tool against the faults a user can cause: four cuts to one name
# at once, and cuts stopped with Ctrl-C or SIGTERM while they replace an existing file.
# Every file that existed must be untouched or replaced whole by a valid cut, and no
# temporary file may stay behind.
# usage: safety_e2e.sh SNIPWAVE_CLI TEST_DATA_FOLDER
set -u
cli=$1
data=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}
duration() { "$cli" info "$1" 2>/dev/null | sed -n 's/^Duration: //p'; }
size() { stat -c %s "$1"; }
no_leftovers() {
  local left
  left=$(find "$dir" -name '*.part')
  [ -z "$left" ] || fail "temporary files left after $1: $left"
}

cp "$data/tagged.mp3" "$dir/src.mp3"
cp "$data/vbr-noheader.mp3" "$dir/long.mp3"

# One cut alone gives the length and size a whole cut has (the tags hold the time of the
# run, so the bytes may differ).
"$cli" cut "$dir/src.mp3" --start 1 --end 7 --folder "$dir" --name solo.mp3 >/dev/null 2>&1 || fail "a plain cut failed"
solo_size=$(size "$dir/solo.mp3")
[ "$(duration "$dir/solo.mp3")" = "00:00:06." ] || fail "the plain cut is not 6 s long"

# Four cuts to one name at once, over an existing file.
printf 'an earlier file' >"$dir/same.mp3"
pids=()
for i in 1 2 3 4; do
  "$cli" cut "$dir/src.mp3" --start 1 --end 7 --folder "$dir" --name same.mp3 --yes >"$dir/run$i.log" 2>&1 &
  pids+=($!)
done
for p in "${pids[@]}"; do wait "$p" || fail "a concurrent cut failed: $(cat "$dir"/run*.log)"; done
[ "$(size "$dir/same.mp3")" = "$solo_size" ] || fail "concurrent cuts left a file of $(size "$dir/same.mp3") bytes, not $solo_size"
[ "$(duration "$dir/same.mp3")" = "00:00:06." ] || fail "concurrent cuts left a file that does not read as 6 s"
no_leftovers "the concurrent cuts"

# The whole long cut, made alone.
"$cli" cut "$dir/long.mp3" --start 0 --end 24 --folder "$dir" --name long-solo.mp3 >/dev/null 2>&1 || fail "the long cut failed"
long_size=$(size "$dir/long-solo.mp3")

# Stopped at different moments, by Ctrl-C and by SIGTERM, while replacing a file.
printf 'the file before the cut' >"$dir/before"
stopped=0
for sig in INT TERM; do
  for delay in 0.05 0.15 0.3 0.5 0.8; do
    cp "$dir/before" "$dir/target.mp3"
    "$cli" cut "$dir/long.mp3" --start 0 --end 24 --folder "$dir" --name target.mp3 --yes >"$dir/stop.log" 2>&1 &
    pid=$!
    sleep "$delay"
    kill -s "$sig" "$pid" 2>/dev/null
    wait "$pid"
    status=$?
    if cmp -s "$dir/before" "$dir/target.mp3"; then
      [ "$status" -ne 0 ] || fail "SIG$sig after ${delay}s: exit 0 but the file was not replaced"
      stopped=$((stopped + 1))
    else
      [ "$status" -eq 0 ] || fail "SIG$sig after ${delay}s: the file was replaced by a run that failed ($status)"
      [ "$(size "$dir/target.mp3")" = "$long_size" ] || fail "SIG$sig after ${delay}s: a partial file replaced the old one"
      [ "$(duration "$dir/target.mp3")" = "$(duration "$dir/long-solo.mp3")" ] ||
        fail "SIG$sig after ${delay}s: the new file does not read as the whole cut"
    fi
    no_leftovers "SIG$sig after ${delay}s"
  done
done
[ "$stopped" -gt 0 ] || fail "no stop arrived while a cut was running"
echo "ok: $stopped of 10 stops ended a cut; every file untouched or replaced whole"
