#!/usr/bin/env bash
# Synthesises the completion sound data/complete.wav: a two-note chime (E5, then B5 a little later),
# each a sine with a quieter octave that dies away, one second in all, 44.1 kHz 16-bit mono.
# Repeatable (-R), so running it again gives the same bytes.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
format=(-R -r 44100 -b 16 -c 1)
# tone FILE FREQUENCY SECONDS GAIN_DB DELAY: a struck tone whose level falls away logarithmically.
tone() {
    sox "${format[@]}" -n "$work/$1" synth "$3" sine "$2" gain "$4" fade q 0.01 fade l 0 "$3" "$3" pad "$5" 0
}
tone low.wav 659.25 1.0 -9 0
tone low2.wav 1318.5 0.6 -21 0
tone high.wav 987.77 0.82 -9 0.18
tone high2.wav 1975.5 0.5 -21 0.18
sox "${format[@]}" -m -v 1 "$work/low.wav" -v 1 "$work/low2.wav" -v 1 "$work/high.wav" -v 1 "$work/high2.wav" \
    "$root/data/complete.wav" norm -3
soxi -D "$root/data/complete.wav"
