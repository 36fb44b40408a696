#!/usr/bin/env bash
# convert --preview in a real X server (xvfb-run): snipwave-cli, which links no window
# library, loads the previewer's module; its window shows the pictures being encoded,
# sized by them and titled with their time, and the conversion ends with its file. The
# window's screenshot goes to OUTDIR.
# usage: preview-e2e.sh SNIPWAVE_CLI OUTDIR
set -euo pipefail
cli=$1 out=$2

if [ "${E2E_INSIDE:-}" != 1 ]; then
  rm -rf "$out"
  mkdir -p "$out"
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  # xvfb-run -a may hand out a display whose server from a run before is still going away.
  for attempt in 1 2 3; do
    if E2E_INSIDE=1 E2E_WORK=$work xvfb-run -a -s "-screen 0 800x600x24" bash "$0" "$@"; then
      echo "screenshot: $out/preview.png"
      exit 0
    fi
    [ "$attempt" -lt 3 ] || exit 1
    sleep 2
  done
fi

work=$E2E_WORK pid=
fail() { echo "FAIL: $*" >&2; import -window root "$out/failed.png" || true; [ -z "$pid" ] || kill "$pid" 2>/dev/null; exit 1; }
# Four seconds of a test pattern at its own pace ("re"): long enough to find the window.
"$cli" convert --preview --in f=lavfi --in re "testsrc=size=160x120:rate=25:duration=4" "$work/out.avi" -y \
  2>"$work/stderr.txt" &
pid=$!
id=
for _ in $(seq 100); do
  id=$(xdotool search --onlyvisible --name '^[0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}$' 2>/dev/null | tail -1) &&
    [ -n "$id" ] && break
  sleep 0.1
done
[ -n "$id" ] || fail "no preview window titled with a time: $(cat "$work/stderr.txt")"
eval "$(xdotool getwindowgeometry --shell "$id")"
[ "$WIDTH" = 160 ] && [ "$HEIGHT" = 120 ] || fail "the window is ${WIDTH}x$HEIGHT, not the pictures' 160x120"
sleep 0.5
import -window "$id" "$out/preview.png"
# The test pattern's colour bars and ramp, not an empty window.
colours=$(convert "$out/preview.png" -format %k info:)
[ "$colours" -gt 16 ] || fail "the window shows $colours colours, not the test pattern"
status=0
wait "$pid" || status=$?
pid=
[ "$status" = 0 ] || fail "convert --preview ended with $status: $(cat "$work/stderr.txt")"
! grep -q "not shown" "$work/stderr.txt" || fail "$(cat "$work/stderr.txt")"
[ -s "$work/out.avi" ] || fail "no output file"
echo "ok"
