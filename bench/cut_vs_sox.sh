#!/usr/bin/env bash
# The cut's speed and sound, each speed figure from one paired run (the two sides alternate,
# several times, and the medians are compared):
#   1. the whole of a 10-minute stereo 44.1 kHz 128 kbit/s MP3 cut with snipwave-cli,
#      against sox doing the same job (trim, 5 s fades, LAME at the same bit rate and
#      quality): the wall time on every core with the cut's peak memory, and the CPU time
#      of both pinned to one core (taskset), which compares the work itself;
#   2. the same for a 12-minute 320 kbit/s MP3;
#   3. a 10 s cut at 58 minutes of a 60-minute file against the same cut at 0 minutes;
#   4. the start-up: a cut of 0.1 s, nearly all process start and library loading;
#   5. the sound: the middle of a 20 s cut (outside the fades) against the source's own
#      decode, aligned and at the gain that fits best, for snipwave-cli and for sox, on a
#      pure tone, on noise and on a music-like signal (bench/audio_snr).
# The load average is printed with the figures: the machine may be shared. The CPU time of
# each side (user + system, median) shows how much of the ratio is the work itself. Needs a built
# tree (build/), sox with its MP3 support (libsox-fmt-mp3), lame, GNU time and taskset.
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
for tool in sox lame /usr/bin/time taskset; do
  command -v "$tool" >/dev/null || { echo "cut_vs_sox.sh needs $tool (sox, libsox-fmt-mp3, lame, time, util-linux)" >&2; exit 1; }
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
snip() {  # SOURCE START END [PREFIX...]
  local src=$1 start=$2 end=$3; shift 3
  timed "$@" build/app/snipwave-cli cut "$src" --start "$start" --end "$end" --volume 100 --folder "$work" --name cut.mp3 --yes
}
sox_cut() {  # SOURCE LENGTH KBITS [PREFIX...]: LAME quality 3 is what the encoder library uses when none is asked for
  local src=$1 length=$2 kbits=$3; shift 3
  timed "$@" sox "$src" -C "$kbits.3" "$work/sox.mp3" trim 0 "$length" fade t 5 "$length" 5
}

# Cut against sox on a whole file; prints two lines of figures: the wall time on every
# core, and the CPU time with both pinned to one core.
versus_sox() {  # NAME SOURCE SECONDS KBITS
  local cuts=() soxes=() rss=() cutcpu=() soxcpu=() pincut=() pinsox=() wall mem cpu
  for ((i = 0; i < runs; i++)); do
    read -r wall mem cpu < <(snip "$2" 0 "$3")
    cuts+=("$wall") rss+=("$mem") cutcpu+=("$cpu")
    read -r wall mem cpu < <(sox_cut "$2" "$3" "$4")
    soxes+=("$wall") soxcpu+=("$cpu")
    read -r wall mem cpu < <(snip "$2" 0 "$3" taskset -c 0)
    pincut+=("$cpu")
    read -r wall mem cpu < <(sox_cut "$2" "$3" "$4" taskset -c 0)
    pinsox+=("$cpu")
  done
  local c s r cc sc pc ps
  c=$(printf '%s\n' "${cuts[@]}" | median)
  s=$(printf '%s\n' "${soxes[@]}" | median)
  cc=$(printf '%s\n' "${cutcpu[@]}" | median)
  sc=$(printf '%s\n' "${soxcpu[@]}" | median)
  pc=$(printf '%s\n' "${pincut[@]}" | median)
  ps=$(printf '%s\n' "${pinsox[@]}" | median)
  r=$(printf '%s\n' "${rss[@]}" | sort -n | tail -1)
  awk -v n="$1" -v c="$c" -v s="$s" -v m="$((r / 1024))" -v l="$(loadavg)" -v cc="$cc" -v sc="$sc" \
    'BEGIN { printf "%-28s cut %6.2f s  sox %6.2f s  ratio cut/sox %.2f (goal <= 0.6)  cpu cut %.2f s sox %.2f s  peak RSS %d MB  load %s\n", n, c, s, c / s, cc, sc, m, l }'
  awk -v n="$1, one core" -v c="$pc" -v s="$ps" -v l="$(loadavg)" \
    'BEGIN { printf "%-28s cpu cut %6.2f s  sox %6.2f s  ratio cut/sox %.2f (goal <= 1.10)  load %s\n", n, c, s, c / s, l }'
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

starts=()
for ((i = 0; i < runs; i++)); do
  read -r wall _ < <(snip "$inputs/source.mp3" 0 0.1)
  starts+=("$wall")
done
printf '%-28s %.2f s (a cut of 0.1 s)\n' "start-up" "$(printf '%s\n' "${starts[@]}" | median)"

# The sound: 40 s sources at 320 kbit/s, the middle 8 s of a cut of 10-30 s.
[[ -f $inputs/tone.mp3 ]] || sox -n -r 44100 -c 2 -C 320.3 "$inputs/tone.mp3" synth 40 sine 997 vol 0.5
[[ -f $inputs/noise.mp3 ]] || sox -n -r 44100 -c 2 -C 320.3 "$inputs/noise.mp3" synth 40 whitenoise vol 0.5
[[ -f $inputs/music.mp3 ]] || sox -n -r 44100 -c 2 -C 320.3 "$inputs/music.mp3" synth 40 pinknoise synth 40 sine mix 110-880 tremolo 2 60 gain -6
for kind in tone noise music; do
  snip "$inputs/$kind.mp3" 10 30 >/dev/null
  sox "$inputs/$kind.mp3" -C 320.3 "$work/sox.mp3" trim 10 20 fade t 5 20 5
  ours=$(build/bench/audio_snr "$inputs/$kind.mp3" 10 "$work/cut.mp3" 6 14 | awk '{print $2}')
  theirs=$(build/bench/audio_snr "$inputs/$kind.mp3" 10 "$work/sox.mp3" 6 14 | awk '{print $2}')
  printf '%-28s cut %6.2f dB  sox %6.2f dB (goal: cut >= sox)\n' "SNR, $kind" "$ours" "$theirs"
done
