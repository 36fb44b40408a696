#!/usr/bin/env bash
# fuzz/make-corpus.sh DIR: puts the seeds made from the test fixtures into DIR: each
# fixture whole, and the first 4 KB of each (a header and a few frames: quick to run).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:?usage: fuzz/make-corpus.sh DIR}
mkdir -p "$dir"
for f in tests/data/*.mp3 tests/data/*.png; do
  name=$(basename "$f")
  cp "$f" "$dir/seed-$name"
  head -c 4096 "$f" > "$dir/seed-head-$name"
done
