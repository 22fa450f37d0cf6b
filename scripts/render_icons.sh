#!/usr/bin/env bash
# Renders the PNG sizes of the desktop icon from data/icons/wavesmith.svg (run after changing it).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
for size in 48 256; do
    rsvg-convert -w "$size" -h "$size" "$root/data/icons/wavesmith.svg" -o "$root/data/icons/wavesmith-$size.png"
done
