#!/usr/bin/env bash
# Cuts the whole of a generated 10-minute stereo 44.1 kHz 128 kbit/s MP3 with
# snipwave-cli cut and does the same job with sox (trim, 5 s fades, LAME at the same bit
# rate and quality), several runs each, and prints both medians, their ratio and the
# cut's peak memory. Needs a built tree (build/), sox with its MP3 support
# (libsox-fmt-mp3) and GNU time.
#
#   bench/cut_vs_sox.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

build/bench/engine_bench --keep "$work" >/dev/null   # leaves source.mp3 (10 min) there
src=$work/source.mp3
len=600

median() { sort -n | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }

cut_times=() sox_times=() cut_rss=()
for ((i = 0; i < runs; i++)); do
  /usr/bin/time -f "%e %M" -o "$work/t" build/app/snipwave-cli cut "$src" --start 0 --end $len --volume 100 \
    --folder "$work" --name cut.mp3 --yes >/dev/null 2>&1
  read -r wall rss <"$work/t"
  cut_times+=("$wall") cut_rss+=("$rss")
  # LAME quality 3 is what the encoder library uses when none is asked for.
  /usr/bin/time -f "%e %M" -o "$work/t" sox "$src" -C 128.3 "$work/sox.mp3" trim 0 $len fade t 5 $len 5
  read -r wall rss <"$work/t"
  sox_times+=("$wall")
done
cut=$(printf '%s\n' "${cut_times[@]}" | median)
sox=$(printf '%s\n' "${sox_times[@]}" | median)
rss=$(printf '%s\n' "${cut_rss[@]}" | sort -n | tail -1)
echo "runs: $runs, source: 10 min stereo 44.1 kHz 128 kbit/s MP3"
echo "snipwave-cli cut median: ${cut} s (peak RSS $((rss / 1024)) MB)"
echo "sox median:              ${sox} s"
awk -v c="$cut" -v s="$sox" 'BEGIN { printf "ratio cut/sox: %.2f\n", c / s }'
