#!/usr/bin/env bash
# What snipwave-cli costs to start and to run, without the window's libraries:
#   1. the window libraries it links (ldd: Qt Widgets, Gui, DBus; 0 is the goal);
#   2. peak memory (RSS) of "convert" of a 12-minute stereo 128 kbit/s MP3 into an MP3,
#      and of "info" on it;
#   3. the start-to-exit time of "info" on a 40 s MP3, median of RUNS runs.
# With --against OTHER (another build of snipwave-cli, such as one of an earlier commit)
# every figure is given for both, and the info runs of the two alternate in one paired
# loop, so that a change of the machine's load touches both sides alike. The load average
# is printed with the figures: the machine may be shared. Needs a built tree (build/),
# sox with its MP3 support (libsox-fmt-mp3) and GNU time.
#
#   bench/cli_footprint.sh [RUNS] [--against OTHER_CLI] [--keep DIR]   (DIR keeps the inputs)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=41 keep= other=
while (($#)); do
  case $1 in
    --keep) keep=$2; shift 2 ;;
    --against) other=$(realpath "$2"); shift 2 ;;
    *) runs=$1; shift ;;
  esac
done
for tool in sox /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "cli_footprint.sh needs $tool (sox, libsox-fmt-mp3, time)" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
inputs=${keep:-$work}
mkdir -p "$inputs"
[[ -f $inputs/long12.mp3 ]] || sox -R -D -n -r 44100 -c 2 -C 128.3 "$inputs/long12.mp3" synth 720 sine 200-2000 pinknoise vol 0.5
[[ -f $inputs/short40.mp3 ]] || sox -R -D -n -r 44100 -c 2 -C 128.3 "$inputs/short40.mp3" synth 40 sine 200-2000 pinknoise vol 0.5

cli=$PWD/build/app/snipwave-cli
sides=(this) programs=("$cli")
[[ -z $other ]] || { sides+=(other); programs+=("$other"); }
median() { sort -n | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }
peak() {  # peak RSS in MiB of the command
  /usr/bin/time -f "%M" -o "$work/t" "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
  awk '{ printf "%.1f", $1 / 1024 }' "$work/t"
}
ms() {  # wall time in milliseconds of the command
  local start=$EPOCHREALTIME
  "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
  awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f\n", (b - a) * 1000 }'
}

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
for i in "${!sides[@]}"; do
  program=${programs[$i]}
  echo "${sides[$i]}: $program"
  echo "  window libraries linked (Qt6 Widgets, Gui, DBus): $(ldd "$program" | grep -c -E 'Qt6(Widgets|Gui|DBus)' || true)"
  echo "  peak RSS: convert of 12 min $(peak "$program" convert "$inputs/long12.mp3" "$work/out.mp3" -y) MiB" \
       "(goal 48), info $(peak "$program" info "$inputs/long12.mp3") MiB (goal 40)"
done

# One paired loop: each round runs both sides, in turn first.
declare -A times
for ((r = 0; r < runs; r++)); do
  order=("${!sides[@]}")
  ((r % 2 == 0)) || order=($(printf '%s\n' "${order[@]}" | tac))
  for i in "${order[@]}"; do
    times[$i]+="$(ms "${programs[$i]}" info "$inputs/short40.mp3") "
  done
done
for i in "${!sides[@]}"; do
  m=$(tr ' ' '\n' <<<"${times[$i]}" | grep . | median)
  echo "${sides[$i]}: info on 40 s, start to exit: median $m ms over $runs runs"
  eval "median_$i=$m"
done
[[ -z $other ]] || awk -v a="$median_0" -v b="$median_1" \
  'BEGIN { printf "this build takes %.0f %% of the other'"'"'s time (%+.1f ms)\n", 100 * a / b, a - b }'
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
