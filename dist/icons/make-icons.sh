#!/usr/bin/env bash
# Renders the hicolor PNG sizes of the program's icon from the SVG beside this script. The PNGs
# are committed; run this again after the SVG changes (needs rsvg-convert, librsvg2-bin).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
for size in 16 22 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" -o "$size.png" io.github.ostradivuvirar.OstraDivUvirar.svg
done
