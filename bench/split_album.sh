#!/usr/bin/env bash
# The split on a generated album: 12 tracks of distinct tones and noise, 4 to 6 minutes
# each, joined with 2 s of digital silence into one 60-minute stereo 44.1 kHz 128 kbit/s
# MP3 (made by sox). Prints:
#   1. split --silence: the gaps found and the worst distance of a track boundary from the
#      middle of its silence;
#   2. split --cue with a cue sheet written for it: the files and the titles in their tags;
#   3. the lossless 12-track split's wall time (median of RUNS);
#   4. the re-encoded 12-track split's wall time against sox making the same 12 trims one
#      after another (medians of paired runs), and the ratio.
# The load average is printed with the figures: the machine may be shared. Needs a built
# tree (build/), sox with its MP3 support (libsox-fmt-mp3) and GNU time.
#
#   bench/split_album.sh [RUNS] [--keep DIR]   (DIR keeps the generated album for next time)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=3 keep=
while (($#)); do
  case $1 in
    --keep) keep=$2; shift 2 ;;
    *) runs=$1; shift ;;
  esac
done
for tool in sox /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "split_album.sh needs $tool (sox, libsox-fmt-mp3, time)" >&2; exit 1; }
done
cli=$PWD/build/app/snipwave-cli
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
inputs=${keep:-$work}
mkdir -p "$inputs"
lengths=(300 280 320 260 340 290 310 270 330 250 350 278)  # seconds; with the gaps 3600
album=$inputs/album.mp3
if [[ ! -f $album ]]; then
  parts=()
  for ((k = 0; k < 12; k++)); do
    # Left a tone of its own, right a tone with pink noise under it.
    sox -n -r 44100 -c 2 "$work/t$k.wav" synth "${lengths[k]}" sine $((220 + 61 * k)) sine $((300 + 47 * k)) \
      synth pinknoise mix vol 0.4
    parts+=("$work/t$k.wav")
    ((k < 11)) && parts+=("$work/gap.wav")
  done
  sox -n -r 44100 -c 2 "$work/gap.wav" trim 0 2
  sox "${parts[@]}" -C 128.3 -t mp3 "$album.part" && mv "$album.part" "$album"
  rm -f "$work"/t*.wav "$work/gap.wav"
fi

loadavg() { local a b c _; read -r a b c _ </proc/loadavg; echo "$a $b $c"; }
median() { sort -n | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }
wall() { /usr/bin/time -f "%e" -o "$work/t" "$@" >/dev/null 2>&1 || true; tail -1 "$work/t"; }
cpu() { /usr/bin/time -f "%U %S" -o "$work/t" "$@" >/dev/null 2>&1 || true; tail -1 "$work/t" | awk '{ print $1 + $2 }'; }

# The middles of the silences as made: after track k (1-based) the silence begins at the
# sum of the lengths so far plus the gaps before.
middles=() at=0
for ((k = 0; k < 11; k++)); do
  at=$((at + lengths[k]))
  middles+=($((at + 1)))
  at=$((at + 2))
done

echo "load average before: $(loadavg)"
out=$work/silence
"$cli" split "$album" --silence --lossless --folder "$out" --yes >"$work/silence.txt"
found=$(grep -c "a track starts at" "$work/silence.txt" || true)
worst=$(grep "a track starts at" "$work/silence.txt" | awk '{print $NF}' | awk -v m="${middles[*]}" '
  BEGIN { n = split(m, want, " ") }
  { split($1, p, ":"); t = p[1] * 3600 + p[2] * 60 + p[3]; d = t - want[NR]; if (d < 0) d = -d; if (d > w) w = d }
  END { printf "%.1f", w * 1000 }')
echo "split --silence: $found silences found (11 made); worst boundary $worst ms from its silence's middle (goal 50)"
if command -v mpg123 >/dev/null; then
  # The lossless tracks decoded one by one and joined, against the source's decode.
  tracks_sum=$( (for f in "$out"/*.mp3; do mpg123 -q -s "$f" 2>/dev/null; done) | md5sum | cut -c1-8)
  whole=$(mpg123 -q -s "$album" 2>/dev/null | md5sum | cut -c1-8)
  echo "lossless tracks joined (mpg123): $tracks_sum, source (mpg123): $whole ($([[ $tracks_sum == "$whole" ]] && echo equal || echo DIFFERENT))"
fi

cue=$work/album.cue
{
  echo 'PERFORMER "Bench Ensemble"'; echo 'TITLE "Bench Album"'; echo 'FILE "album.mp3" MP3'
  at=0
  for ((k = 0; k < 12; k++)); do
    printf '  TRACK %02d AUDIO\n    TITLE "Piece %d"\n    INDEX 01 %02d:%02d:00\n' $((k + 1)) $((k + 1)) $((at / 60)) $((at % 60))
    ((k < 11)) && at=$((at + lengths[k] + 1)) && at=$((at + 1))
  done
} >"$cue"
"$cli" split "$album" --cue "$cue" --lossless --folder "$work/cue" --yes >/dev/null
files=$(ls "$work/cue" | wc -l)
titled=0
for f in "$work/cue"/*.mp3; do
  t=$("$cli" info "$f" | grep -c "Piece" || true)
  titled=$((titled + (t > 0)))
done
echo "split --cue: $files files, $titled with their title in the tags"

times=() cpus=()
for ((i = 0; i < runs; i++)); do
  times+=("$(wall "$cli" split "$album" --cue "$cue" --lossless --folder "$work/lossless" --yes)")
  cpus+=("$(cpu "$cli" split "$album" --cue "$cue" --lossless --folder "$work/lossless" --yes)")
done
echo "lossless split of 12 tracks: $(printf '%s\n' "${times[@]}" | median) s wall, $(printf '%s\n' "${cpus[@]}" | median) s CPU, medians of $runs (goal 1 s)"

starts=(0) at=0
for ((k = 0; k < 11; k++)); do at=$((at + lengths[k] + 2)); starts+=("$at"); done
starts+=(3600)
sox_all() {
  for ((k = 0; k < 12; k++)); do
    sox -V1 "$album" -C 128.3 "$work/sox$k.mp3" trim "${starts[k]}" "=${starts[k + 1]}"
  done
}
ours=() theirs=()
for ((i = 0; i < runs; i++)); do
  ours+=("$(wall "$cli" split "$album" --cue "$cue" --folder "$work/reencoded" --yes)")
  s=$(date +%s.%N); sox_all; e=$(date +%s.%N)
  theirs+=("$(awk -v s="$s" -v e="$e" 'BEGIN { printf "%.2f", e - s }')")
done
o=$(printf '%s\n' "${ours[@]}" | median) t=$(printf '%s\n' "${theirs[@]}" | median)
echo "re-encoded split of 12 tracks: $o s; sox's 12 trims one after another: $t s; ratio $(awk -v o="$o" -v t="$t" 'BEGIN { printf "%.2f", o / t }') (goal 0.6)"
echo "load average after: $(loadavg)"
