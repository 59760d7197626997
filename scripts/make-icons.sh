#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Renders packaging/icons/lentrova.svg into the PNG sizes that desktops look up (committed, so that a build
# needs no SVG renderer), and the 64 px one that the window shows beside the program (install/lentrova.png).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh librsvg2-bin
for size in 16 22 24 32 48 64 128 256; do
    rsvg-convert -w $size -h $size packaging/icons/lentrova.svg -o packaging/icons/lentrova-$size.png
done
cp packaging/icons/lentrova-64.png install/lentrova.png
