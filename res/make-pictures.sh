#!/usr/bin/env bash
# Draws the window's step and arrow pictures (twice the size they are shown at, so that
# they stay crisp on 2x screens). Needs ImageMagick and the
# DejaVu fonts; the results are committed, the build only copies them.
set -euo pipefail
cd "$(dirname "$0")"
for n in 1 2 3; do
  convert -size 60x60 xc:none -fill '#2f6fb0' -stroke '#1d4f82' -strokewidth 2 -draw 'circle 30,30 30,3' \
    -fill white -stroke none -font DejaVu-Sans-Bold -pointsize 34 -gravity center -annotate +0+1 "$n" \
    -strip "pictures/$n.png"
done
convert -size 32x32 xc:none -fill '#2f6fb0' -draw 'polygon 22,5 22,27 8,16' -strip pictures/arr-left.png
convert -size 32x32 xc:none -fill '#2f6fb0' -draw 'polygon 10,5 10,27 24,16' -strip pictures/arr-right.png
