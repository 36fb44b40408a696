#!/usr/bin/env bash
# The cut's speed, each figure from one paired run (the two sides alternate, several times,
# and the medians are compared):
#   1. the whole of a 10-minute stereo 44.1 kHz 128 kbit/s MP3 cut with snipwave-cli,
#      against sox doing the same job (trim, 5 s fades, LAME at the same bit rate and
#      quality), with the cut's peak memory;
#   2. the same for a 12-minute 320 kbit/s MP3;
#   3. a 10 s cut at 58 minutes of a 60-minute file against the same cut at 0 minutes.
# The load average is printed with the figures: the machine may be shared. The CPU time of
# each side (user + system, median) shows how much of the ratio is the work itself. Needs a built
# tree (build/), sox with its MP3 support (libsox-fmt-mp3) and GNU time.
#
#   bench/cut_vs_sox.sh [RUNS] [--keep DIR]   (DIR keeps the generated inputs for next time)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=5 keep=
while (($#)); do
  case $1 in
    --keep) keep=$2; shift 2 ;;
    *) runs=$1; shift ;;
  esac
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
inputs=${keep:-$work}
mkdir -p "$inputs"

# The inputs: the engine bench's 10-minute file, and sox-made tones with noise.
[[ -f $inputs/source.mp3 ]] || build/bench/engine_bench --keep "$inputs" >/dev/null
[[ -f $inputs/hi320.mp3 ]] || sox -n -r 44100 -c 2 -C 320.3 "$inputs/hi320.mp3" synth 720 sine 200-2000 pinknoise vol 0.5
[[ -f $inputs/long60.mp3 ]] || sox -n -r 44100 -c 2 -C 128.3 "$inputs/long60.mp3" synth 3600 sine 300-900 pinknoise vol 0.5

loadavg() { local a b c _; read -r a b c _ </proc/loadavg; echo "$a $b $c"; }
median() { sort -n | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }
timed() {  # prints "wall rss cpu" of the command
  /usr/bin/time -f "%e %M %U %S" -o "$work/t" "$@" >/dev/null 2>&1
  read -r wall mem user sys <"$work/t"
  echo "$wall $mem $(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')"
}
snip() {  # SOURCE START END
  timed build/app/snipwave-cli cut "$1" --start "$2" --end "$3" --volume 100 --folder "$work" --name cut.mp3 --yes
}
sox_cut() {  # SOURCE LENGTH KBITS: LAME quality 3 is what the encoder library uses when none is asked for
  timed sox "$1" -C "$3.3" "$work/sox.mp3" trim 0 "$2" fade t 5 "$2" 5
}

# Cut against sox on a whole file; prints one line of figures.
versus_sox() {  # NAME SOURCE SECONDS KBITS
  local cuts=() soxes=() rss=() cutcpu=() soxcpu=() wall mem cpu
  for ((i = 0; i < runs; i++)); do
    read -r wall mem cpu < <(snip "$2" 0 "$3")
    cuts+=("$wall") rss+=("$mem") cutcpu+=("$cpu")
    read -r wall mem cpu < <(sox_cut "$2" "$3" "$4")
    soxes+=("$wall") soxcpu+=("$cpu")
  done
  local c s r cc sc
  c=$(printf '%s\n' "${cuts[@]}" | median)
  s=$(printf '%s\n' "${soxes[@]}" | median)
  cc=$(printf '%s\n' "${cutcpu[@]}" | median)
  sc=$(printf '%s\n' "${soxcpu[@]}" | median)
  r=$(printf '%s\n' "${rss[@]}" | sort -n | tail -1)
  awk -v n="$1" -v c="$c" -v s="$s" -v m="$((r / 1024))" -v l="$(loadavg)" -v cc="$cc" -v sc="$sc" \
    'BEGIN { printf "%-28s cut %6.2f s  sox %6.2f s  ratio cut/sox %.2f (goal <= 0.55)  cpu cut %.2f s sox %.2f s  peak RSS %d MB  load %s\n", n, c, s, c / s, cc, sc, m, l }'
}

echo "runs: $runs, cores: $(nproc)"
versus_sox "10 min 128 kbit/s, whole" "$inputs/source.mp3" 600 128
versus_sox "12 min 320 kbit/s, whole" "$inputs/hi320.mp3" 720 320

late=() early=()
for ((i = 0; i < runs; i++)); do
  read -r wall _ < <(snip "$inputs/long60.mp3" 58:00 58:10)
  late+=("$wall")
  read -r wall _ < <(snip "$inputs/long60.mp3" 0 10)
  early+=("$wall")
done
l=$(printf '%s\n' "${late[@]}" | median)
e=$(printf '%s\n' "${early[@]}" | median)
awk -v l="$l" -v e="$e" -v a="$(loadavg)" \
  'BEGIN { printf "%-28s at 58 min %5.2f s  at 0 min %5.2f s  ratio %.2f (goal <= 1.5)  load %s\n", "10 s of a 60 min file", l, e, l / e, a }'
