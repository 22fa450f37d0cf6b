#!/usr/bin/env bash
# One 60-minute file (128 kbps Layer III, made from synthesized sound with sox and ffmpeg's
# libshine), or with JOINED=1 a 20-minute one made of five tagged files joined end to end:
# utils.exe on one thread, utils.exe as it starts by default (one thread per processor),
# `mpg123 -w` and ffmpeg. Prints wall-clock medians, ratios and peak memory, and checks that one
# thread, the default and `mpg123 -w` write the same audio.
# Usage: bench/long_decode_bench.sh [path/to/utils.exe]   (RUNS=n runs each, default 3;
# BENCH_DIR=folder for the files, default /tmp: about 60 MB of MP3 and 2.5 GB of WAV files)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
utils=${1:-$here/../build/dev/bin/utils.exe}
runs=${RUNS:-3}
[ -x "$utils" ] || { echo "no decoder at $utils (build the utils.exe target first)" >&2; exit 2; }
for tool in mpg123 ffmpeg sox; do command -v "$tool" >/dev/null || { echo "$tool is needed" >&2; exit 2; }; done
[ -x /usr/bin/time ] || { echo "/usr/bin/time is needed" >&2; exit 2; }

work=$(mktemp -d -p "${BENCH_DIR:-/tmp}")
trap 'rm -rf "$work"' EXIT

if [ -n "${JOINED:-}" ]; then
    # Five 4-minute files, each with its ID3v2 tag and Info frame, joined end to end as audiobook
    # chapters are: 20 minutes.
    length=1200 target=0.6
    for i in 1 2 3 4 5; do
        sox -n -r 44100 -c 2 "$work/part.wav" synth 240 sine $((100 * i))-3520 pinknoise tremolo 0.3 60 vol 0.7
        ffmpeg -nostdin -loglevel error -y -i "$work/part.wav" -c:a libshine -b:a 128k \
            -metadata title="Chapter $i" "$work/part$i.mp3"
    done
    cat "$work"/part[1-5].mp3 >"$work/long.mp3"
    rm -f "$work"/part*
else
    # Five minutes of changing sound, encoded twelve times over in one stream.
    length=3600 target=0.55
    sox -n -r 44100 -c 2 "$work/five.wav" synth 300 sine 110-3520 pinknoise tremolo 0.3 60 vol 0.7
    ffmpeg -nostdin -loglevel error -y -stream_loop 11 -i "$work/five.wav" -c:a libshine -b:a 128k "$work/long.mp3"
    rm -f "$work/five.wav"
fi

time_one() { # name command...
    local name=$1
    shift
    rm -f "$work"/*.wav
    sync
    /usr/bin/time -f "%e %M" -o "$work/one" "$@" >/dev/null 2>&1 || { echo "$name failed: $*" >&2; exit 1; }
    read -r seconds kib <"$work/one"
    echo "$seconds" >>"$work/$name.times"
    echo "$kib" >>"$work/$name.rss"
}
median() { sort -g "$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
peak_mb() { sort -g "$1" | tail -n 1 | awk '{ printf "%.1f", $1 / 1024 }'; }

echo "== long.mp3: $(stat -c %s "$work/long.mp3") bytes, $length s; $(nproc) processors; load $(cut -d' ' -f1-3 /proc/loadavg)"
for ((i = 0; i < runs; i++)); do # interleaved, so drift of the machine hits all alike
    time_one one "$utils" --threads 1 --decode "$work/long.mp3" "$work/out.wav"
    time_one default "$utils" --decode "$work/long.mp3" "$work/out.wav"
    time_one mpg123 mpg123 -q -w "$work/out.wav" "$work/long.mp3"
    time_one ffmpeg ffmpeg -nostdin -loglevel error -y -i "$work/long.mp3" "$work/out.wav"
done
one=$(median "$work/one.times")
default=$(median "$work/default.times")
mpg=$(median "$work/mpg123.times")
ff=$(median "$work/ffmpeg.times")
printf '  utils.exe --threads 1  %7.2f s  peak %6s MB\n' "$one" "$(peak_mb "$work/one.rss")"
printf '  utils.exe (default)    %7.2f s  peak %6s MB\n' "$default" "$(peak_mb "$work/default.rss")"
printf '  mpg123 -w              %7.2f s  peak %6s MB\n' "$mpg" "$(peak_mb "$work/mpg123.rss")"
printf '  ffmpeg -i              %7.2f s  peak %6s MB\n' "$ff" "$(peak_mb "$work/ffmpeg.rss")"
echo "  default / one thread = $(awk -v a="$default" -v b="$one" 'BEGIN { printf "%.3f", a / b }') (target <= $target)," \
    "default / mpg123 -w = $(awk -v a="$default" -v b="$mpg" 'BEGIN { printf "%.3f", a / b }') (target <= 0.5)," \
    "default / ffmpeg = $(awk -v a="$default" -v b="$ff" 'BEGIN { printf "%.3f", a / b }')"
echo "  load after the runs: $(cut -d' ' -f1-3 /proc/loadavg)"

status=0
"$utils" --threads 1 --decode "$work/long.mp3" "$work/one.wav" 2>/dev/null
"$utils" --decode "$work/long.mp3" "$work/default.wav" 2>/dev/null
mpg123 -q -w "$work/mpg123.wav" "$work/long.mp3"
# Both headers are the plain 44 bytes; the audio after them is what counts.
if ! cmp -s <(tail -c +45 "$work/one.wav") <(tail -c +45 "$work/mpg123.wav"); then
    echo "  ONE THREAD AND MPG123 -W DIFFER"
    status=1
fi
if cmp -s "$work/one.wav" "$work/default.wav"; then
    echo "  one thread and the default wrote the same $(stat -c %s "$work/one.wav") bytes"
else
    echo "  ONE THREAD AND THE DEFAULT DIFFER"
    status=1
fi
[ "$(sort -g "$work/default.rss" | tail -n 1)" -lt 16384 ] || { echo "  PEAK MEMORY OVER 16 MB"; status=1; }
exit $status
