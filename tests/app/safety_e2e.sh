#!/usr/bin/env bash
# The built command-line tool against the faults a user can cause: four cuts to one name
# at once, a file that appears at the output's name during a cut, and cuts stopped with
# Ctrl-C or SIGTERM while they replace an existing file. Every file that existed must be
# untouched or replaced whole by a valid cut (only with --yes), and no temporary file may
# stay behind. Then pipes and devices: a named pipe that nobody writes to or reads from,
# and a copy of /dev/zero (when mknod is allowed), as the input of every command and as
# the output of the cut and the conversion. Each run must end by itself with the reason,
# or at the first SIGTERM, within 2 s; and a second Ctrl-C during a cut removes the cut's
# temporary file before the process ends.
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

# Without --yes: of four cuts to one new name only one may take it; a file that appears at
# the name while a cut runs is kept, and the cut fails saying so.
pids=()
for i in 1 2 3 4; do
  "$cli" cut "$dir/src.mp3" --start 1 --end 7 --folder "$dir" --name first.mp3 >"$dir/run$i.log" 2>&1 &
  pids+=($!)
done
won=0
for p in "${pids[@]}"; do wait "$p" && won=$((won + 1)); done
[ "$won" -eq 1 ] || fail "$won of four cuts without --yes reported success for one name"
[ "$(duration "$dir/first.mp3")" = "00:00:06." ] || fail "the cut that won does not read as 6 s"
for _ in 1 2 3 4 5 6 7 8; do cat "$data/vbr-noheader.mp3"; done >"$dir/longer.mp3"
"$cli" cut "$dir/longer.mp3" --start 0 --end 3:00 --folder "$dir" --name precious >"$dir/precious.log" 2>&1 &
pid=$!
for _ in $(seq 500); do
  [ -n "$(find "$dir" -name '.precious.mp3.*.part')" ] && break
  sleep 0.01
done
printf 'my precious data' >"$dir/precious.mp3"
wait "$pid" && fail "a cut without --yes replaced a file that appeared meanwhile"
[ "$(cat "$dir/precious.mp3")" = "my precious data" ] || fail "the file that appeared during the cut is gone"
grep -q "appeared while the output was being written" "$dir/precious.log" ||
  fail "the refused cut does not say why: $(cat "$dir/precious.log")"
no_leftovers "the refused cuts"

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

export SDL_AUDIODRIVER=dummy  # the player plays silently

# ends_soon WHAT WORDS COMMAND...: the command ends within 2 s, by itself or after one
# SIGTERM; what it printed must hold WORDS.
ends_soon() {
  local what=$1 words=$2
  shift 2
  "$@" >"$dir/run.log" 2>&1 &
  local pid=$! _
  for _ in $(seq 20); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$pid" 2>/dev/null; then
    kill -TERM "$pid"
    for _ in $(seq 20); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$pid" 2>/dev/null; then
      kill -KILL "$pid"
      fail "$what: still running 2 s after SIGTERM"
    fi
  fi
  wait "$pid" && fail "$what: exit status 0"
  grep -q "$words" "$dir/run.log" || fail "$what: no \"$words\" in: $(cat "$dir/run.log")"
}

mkfifo "$dir/pipe.mp3"
inputs=("$dir/pipe.mp3")
words=("named pipe")
if mknod "$dir/zero.mp3" c 1 5 2>/dev/null; then
  inputs+=("$dir/zero.mp3")
  words+=("device")
else
  echo "mknod not allowed here: the /dev/zero copy is left out"
fi
for i in "${!inputs[@]}"; do
  in=${inputs[$i]} w=${words[$i]}
  ends_soon "info $in" "$w" "$cli" info "$in"
  ends_soon "cut $in" "$w" "$cli" cut "$in" --start 0 --end 2 --folder "$dir" --name out --yes
  ends_soon "lossless cut $in" "$w" "$cli" cut "$in" --start 0 --end 2 --folder "$dir" --name out --yes --lossless
  ends_soon "convert $in" "$w" "$cli" convert "$in" "$dir/out.mp3" -y
  ends_soon "play $in" "$w" "$cli" play "$in"
done
ends_soon "cut onto a pipe" "named pipe" "$cli" cut "$dir/src.mp3" --start 0 --end 2 --folder "$dir" --name pipe.mp3 --yes
ends_soon "lossless cut onto a pipe" "named pipe" \
  "$cli" cut "$dir/src.mp3" --start 0 --end 2 --folder "$dir" --name pipe.mp3 --yes --lossless
ends_soon "convert onto a pipe" "named pipe" "$cli" convert "$dir/src.mp3" "$dir/pipe.mp3" -y
[ -p "$dir/pipe.mp3" ] || fail "the pipe is no longer a pipe"
[ ! -e "$dir/out.mp3" ] || fail "a refused run left an output"

# Two Ctrl-C 10 ms apart a second into a long cut that replaces a file: the second ends
# the process, and the temporary file goes with it.
for _ in $(seq 16); do cat "$data/vbr-noheader.mp3"; done >"$dir/longest.mp3"
printf 'the file before the cut' >"$dir/target.mp3"
"$cli" cut "$dir/longest.mp3" --start 0 --end 6:00 --folder "$dir" --name target.mp3 --yes >"$dir/run.log" 2>&1 &
pid=$!
for _ in $(seq 500); do
  [ -n "$(find "$dir" -name '*.part')" ] && break
  sleep 0.01
done
[ -n "$(find "$dir" -name '*.part')" ] || fail "the long cut made no temporary file"
sleep 1
kill -INT "$pid"
sleep 0.01
kill -INT "$pid"
wait "$pid" && fail "a cut stopped twice reported success"
[ -z "$(find "$dir" -name '*.part')" ] || fail "two Ctrl-C left $(find "$dir" -name '*.part')"
[ "$(cat "$dir/target.mp3")" = "the file before the cut" ] || fail "the stopped cut changed the file it was to replace"
echo "ok: $stopped of 10 stops ended a cut; every file untouched or replaced whole; pipes and devices refused"
