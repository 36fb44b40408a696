#!/usr/bin/env bash
# The built command-line tool on a regular file that reads as an endless stream: 100 GiB
# of zeros (a sparse file, no disk space), in which the library hunts for a first frame
# through every byte. Each command (info, cut, lossless cut, convert, play) is stopped
# with one SIGTERM a second after it started: it must end within 2 s, with a failure
# status, and leave no output and no temporary file.
# usage: endless_input_e2e.sh SNIPWAVE_CLI
set -u
cli=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}
export SDL_AUDIODRIVER=dummy  # the player plays silently

zeros=$dir/zeros.mp3
truncate -s 100G "$zeros" 2>/dev/null || { echo "no sparse files here: nothing to check"; exit 0; }

# ends_on_first_term WHAT COMMAND...
ends_on_first_term() {
  local what=$1 _
  shift
  "$@" >"$dir/run.log" 2>&1 &
  local pid=$!
  sleep 1
  kill -TERM "$pid" 2>/dev/null
  for _ in $(seq 20); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$pid" 2>/dev/null; then
    kill -KILL "$pid"
    wait "$pid"
    fail "$what: still running 2 s after SIGTERM: $(cat "$dir/run.log")"
  fi
  wait "$pid" && fail "$what: exit status 0: $(cat "$dir/run.log")"
  local left
  left=$(find "$dir" -name '*.part' -o -name 'out*')
  [ -z "$left" ] || fail "$what: left $left"
}

ends_on_first_term "info" "$cli" info "$zeros"
ends_on_first_term "cut" "$cli" cut "$zeros" --start 0 --end 2 --folder "$dir" --name out
ends_on_first_term "lossless cut" "$cli" cut "$zeros" --start 0 --end 2 --folder "$dir" --name out --lossless
ends_on_first_term "convert" "$cli" convert "$zeros" "$dir/out.mp3"
ends_on_first_term "play" "$cli" play "$zeros"
echo "ok: every command on 100 GiB of zeros ended within 2 s of one SIGTERM"
