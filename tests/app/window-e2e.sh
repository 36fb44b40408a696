#!/usr/bin/env bash
# The program in a real X server: start it, open a file through its open dialog, cut it,
# have a cut refused, close it; start it again and end it with SIGTERM while it previews; at
# 1x and at 2x. Window screenshots go to OUTDIR for review.
# usage: window-e2e.sh SNIPWAVE SNIPWAVE_CLI DATA_DIR OUTDIR
set -euo pipefail
prog=$1 cli=$2 data=$3 out=$4

if [ "${E2E_INSIDE:-}" != 1 ]; then
  rm -rf "$out"
  mkdir -p "$out"
  # Asked for help, the program answers without a display; an option that is neither its
  # own nor the toolkit's is refused before a run log is started.
  logs_before=$(ls -l --time-style=full-iso "$(dirname "$prog")/Log" 2>/dev/null || true)
  usage=$(DISPLAY= WAYLAND_DISPLAY= "$prog" --help) || { echo "FAIL: --help ended with $?" >&2; exit 1; }
  [[ $usage == "Usage: snipwave [FILE]"* ]] || { echo "FAIL: --help printed: $usage" >&2; exit 1; }
  status=0
  QT_QPA_PLATFORM=offscreen "$prog" -platform offscreen --bogus 2> "$out/bogus.txt" || status=$?
  [ "$status" = 2 ] && grep -q "^snipwave: unknown option --bogus$" "$out/bogus.txt" ||
    { echo "FAIL: --bogus ended with $status: $(cat "$out/bogus.txt")" >&2; exit 1; }
  [ "$logs_before" = "$(ls -l --time-style=full-iso "$(dirname "$prog")/Log" 2>/dev/null || true)" ] ||
    { echo "FAIL: a refused call started a run log" >&2; exit 1; }
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  # Five times the 24 s fixture: a cut long enough to be caught running.
  for _ in 1 2 3 4 5; do cat "$data/vbr-noheader.mp3"; done > "$work/long.mp3"
  cp "$work/long.mp3" "$work/long.orig"
  for scale in 1 2; do
    # xvfb-run -a may hand out a display whose server from the run before is still going
    # away; the program then cannot connect. A step that fails three times is a failure.
    for attempt in 1 2 3; do
      rm -rf "$work/long_new.mp3" "$work/sound.raw" "$work/cache"
      if E2E_INSIDE=1 E2E_WORK=$work E2E_SCALE=$scale \
           xvfb-run -a -s "-screen 0 1600x1100x24" bash "$0" "$@"; then
        break
      fi
      [ "$attempt" -lt 3 ] || exit 1
      echo "retrying at ${scale}x" >&2
      sleep 2
    done
  done
  rm -f "$work/long_new.mp3"
  echo "screenshots in $out"
  exit 0
fi

s=$E2E_SCALE work=$E2E_WORK
log_dir=$(dirname "$prog")/Log
fail() { echo "FAIL (${s}x): $*" >&2; import -window root "$out/failed@${s}x.png" || true; kill "$pid" 2>/dev/null || true; exit 1; }
shot() { import -window root "$out/$1@${s}x.png"; }
# Waits for a visible top-level window with this exact title; prints its id.
await() {
  for _ in $(seq 300); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | tail -1) && [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}
# Clicks at a point given in the window's client coordinates (design pixels).
click() { xdotool mousemove $((wx + $1 * s)) $((wy + menu + $2 * s)) click 1; }

# The preview's sound goes to a file, about ten times faster than real time; the sound
# overviews to a cache folder of the run's own.
export QT_SCALE_FACTOR=$s SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/sound.raw" SDL_DISKAUDIODELAY=2 \
  XDG_CACHE_HOME="$work/cache"
"$prog" 2>"$out/stderr@${s}x.txt" &
pid=$!
win=$(await "Korvane Snip Wave") || fail "the window did not open"
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$win")"
wx=$X wy=$Y
menu=$((HEIGHT - 389 * s))
[ "$WIDTH" -eq $((417 * s)) ] || fail "window width $WIDTH"
shot 1-started

# The open button at the right end of the source edit.
click 362 45
dialog=""
for _ in $(seq 100); do
  dialog=$(xdotool search --onlyvisible --classname snipwave 2>/dev/null | grep -v "^$win\$" | tail -1) && break
  sleep 0.1
done
[ -n "$dialog" ] || fail "no open dialog"
sleep 0.5
xdotool windowfocus --sync "$dialog" 2>/dev/null || true
xdotool type --delay 5 "$work/long.mp3"
xdotool key Return
sleep 1.5
shot 2-opened

# The preview: Play moves the thumb with the sound; a press on the track holds it with the
# time hint shown; Stop leaves it where it is.
track() { convert "$out/$1@${s}x.png" -crop $((244 * s))x$((25 * s))+$((wx + 79 * s))+$((wy + menu + 96 * s)) +repage rgb:- | md5sum; }
click 105 142
sleep 1.5
shot 2a-playing
[ "$(track 2-opened)" != "$(track 2a-playing)" ] || fail "the thumb did not move while playing"
xdotool mousemove $((wx + 250 * s)) $((wy + menu + 108 * s)) mousedown 1
sleep 0.3
shot 2b-hint
xdotool mouseup 1
click 169 142
sleep 0.5
shot 2c-stopped
sleep 1
shot 2d-still
[ "$(track 2c-stopped)" = "$(track 2d-still)" ] || fail "the thumb moved after Stop"
[ -s "$work/sound.raw" ] || fail "no sound was played"

# The information panel, shown.
click 407 168
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$win")"
wx=$X wy=$Y
[ "$WIDTH" -eq $((700 * s)) ] || fail "width with the panel $WIDTH"
[ $((X + WIDTH)) -le 1600 ] || fail "the window grew off the screen"
shot 3-information

# Start Cut, caught while it runs, and its end box.
click 206 279
sleep 0.4
shot 4-cutting
box=$(await "Infomation") || fail "no end box"
shot 5-done
xdotool windowfocus --sync "$box" 2>/dev/null || true
xdotool key Escape
sleep 0.5

# A cut onto its own source: refused at once, before any question about replacing it; a
# box says why, and the source is untouched.
click 200 235
xdotool key ctrl+a
xdotool type --delay 5 "long"
click 206 279
failed=""
for _ in $(seq 100); do
  [ "$(xdotool search --onlyvisible --name "^Korvane Snip Wave\$" 2>/dev/null | wc -l)" -ge 2 ] && { failed=1; break; }
  sleep 0.1
done
[ -n "$failed" ] || fail "no box for the failed cut"
sleep 0.3
shot 6-cut-failed
xdotool key Return
sleep 0.5
cmp -s "$work/long.mp3" "$work/long.orig" || fail "the failed cut changed its source"
grep -q "is the source itself" "$log_dir/log1.txt" || fail "run log of the refused cut"

# File > Exit.
xdotool mousemove $((wx + 12 * s)) $((wy + menu / 2)) click 1
sleep 0.5
xdotool key Up Return
for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$pid" 2>/dev/null && fail "the window did not close"
wait "$pid" || fail "exit status $?"

[ -s "$work/long_new.mp3" ] || fail "no output"
"$cli" info "$work/long_new.mp3" | grep -q "^Duration: 00:02:0[01]\.$" || fail "output length: $("$cli" info "$work/long_new.mp3" | grep Duration)"
grep -q "Completed to cut mp3 file." "$log_dir/log1.txt" || fail "run log: $(cat "$log_dir/log1.txt")"
grep -q "Output:$work/long_new.mp3" "$log_dir/log1.txt" || fail "run log output line"

# SIGTERM while the preview plays (a logout, a kill): the window closes within 2 s as
# File > Exit would, with status 0, and leaves no file in the making.
rm -f "$work/sound.raw"
"$prog" "$work/long.mp3" 2>>"$out/stderr@${s}x.txt" &
pid=$!
win=$(await "Korvane Snip Wave") || fail "the window did not open again"
sleep 1
eval "$(xdotool getwindowgeometry --shell "$win")"
wx=$X wy=$Y
click 105 142
sleep 1
[ -s "$work/sound.raw" ] || fail "the preview did not play before the signal"
shot 7-before-sigterm
kill -TERM "$pid"
ended=""
for _ in $(seq 20); do kill -0 "$pid" 2>/dev/null || { ended=1; break; }; sleep 0.1; done
[ -n "$ended" ] || fail "still running 2 s after SIGTERM"
wait "$pid" || fail "exit status $? after SIGTERM"
left=$(find "$work" -name '*.part' -o -name '*.part-*')
[ -z "$left" ] || fail "left behind after SIGTERM: $left"
echo "ok at ${s}x"
