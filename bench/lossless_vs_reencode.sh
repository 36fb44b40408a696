#!/usr/bin/env bash
# Makes a 10-minute and a 60-minute stereo 44.1 kHz 128 kbit/s MP3 (a sweep on the left,
# pink noise on the right), cuts the whole of each with snipwave-cli cut (re-encoding
# through LAME) and with cut --lossless (frame copy), and prints wall time and peak
# memory of both and how many times faster the lossless cut is. The lossless figure is
# the median of several runs, the re-encoding one a single run.
# Needs a built tree (build/), sox, lame and GNU time.
#
#   bench/lossless_vs_reencode.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
for tool in sox lame /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "lossless_vs_reencode.sh needs $tool (sox, lame, time)" >&2; exit 1; }
done
cli=build/app/snipwave-cli
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

median() { sort -n | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }

for minutes in 10 60; do
  len=$((minutes * 60))
  src=$work/source-$minutes.mp3
  sox -R -D -n -r 44100 -c 2 -b 16 -t wav - synth $len sine 220:880 pinknoise gain -n -6 |
    lame --quiet --noreplaygain -b 128 - "$src"

  /usr/bin/time -f "%e %M" -o "$work/t" "$cli" cut "$src" --start 0 --end $len --volume 100 \
    --folder "$work" --name reencoded.mp3 --yes >/dev/null 2>&1
  read -r reencode reencodeRss <"$work/t"

  times=() rss=()
  for ((i = 0; i < runs; i++)); do
    /usr/bin/time -f "%e %M" -o "$work/t" "$cli" cut "$src" --start 0 --end $len --volume 100 --lossless \
      --folder "$work" --name lossless.mp3 --yes >/dev/null 2>&1
    read -r wall peak <"$work/t"
    times+=("$wall") rss+=("$peak")
  done
  lossless=$(printf '%s\n' "${times[@]}" | median)
  peak=$(printf '%s\n' "${rss[@]}" | sort -n | tail -1)
  echo "$minutes min ($(($(stat -c %s "$src") / 1048576)) MB): re-encoding cut ${reencode} s, peak RSS $((reencodeRss / 1024)) MB"
  echo "$minutes min: lossless cut median ${lossless} s over $runs runs, peak RSS $((peak / 1024)) MB"
  awk -v r="$reencode" -v l="$lossless" 'BEGIN { printf "  lossless is %.0fx faster\n", r / (l > 0.005 ? l : 0.005) }'
  rm -f "$work"/*.mp3
done
