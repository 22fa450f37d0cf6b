#!/usr/bin/env bash
# Times utils.exe against `mpg123 -w` and `ffmpeg -i` on 5-minute files made from synthesized sound
# with sox and ffmpeg (Layer III at 128 and 320 kbps with libshine, Layer II at 384 kbps); prints
# wall-clock medians, ratios, peak memory, and checks that utils.exe's PCM data is identical to
# `mpg123 -w`'s.
# Usage: bench/decoder_bench.sh [path/to/utils.exe]   (RUNS=n to change the number of runs)
# The reference decoders are installed from Debian only for this benchmark.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
utils=${1:-$here/../build/dev/bin/utils.exe}
runs=${RUNS:-7}
[ -x "$utils" ] || { echo "no decoder at $utils (build the utils.exe target first)" >&2; exit 2; }

missing=()
for tool in mpg123 ffmpeg sox python3; do command -v "$tool" >/dev/null || missing+=("$tool"); done
[ -x /usr/bin/time ] || missing+=(time)
if [ ${#missing[@]} -gt 0 ]; then
    echo "installing ${missing[*]} for the benchmark" >&2
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]/python3/python3-minimal}" >/dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

encode() { # input output options...
    local input=$1 output=$2
    shift 2
    ffmpeg -nostdin -loglevel error -y -i "$input" "$@" "$output"
}

# Five minutes of changing sound (a sweep and noise under a tremolo).
sox -n -r 44100 -c 2 "$work/source.wav" synth 300 sine 110-3520 pinknoise tremolo 0.3 60 vol 0.7
encode "$work/source.wav" "$work/cbr128.mp3" -c:a libshine -b:a 128k
encode "$work/source.wav" "$work/cbr320.mp3" -c:a libshine -b:a 320k
encode "$work/source.wav" "$work/layer2.mp3" -c:a mp2 -b:a 384k -f mp2

# Seconds of one run (wall clock) and its peak memory in kB, appended to the tool's lists.
time_one() { # name command...
    local name=$1 start end
    shift
    start=$EPOCHREALTIME
    /usr/bin/time -f %M -o "$work/rss" "$@" >/dev/null 2>&1 || { echo "$name failed: $*" >&2; exit 1; }
    end=$EPOCHREALTIME
    echo "$start $end" | awk '{ printf "%.4f\n", $2 - $1 }' >>"$work/$name.times"
    cat "$work/rss" >>"$work/$name.rss"
}

median() { sort -g "$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
maximum() { sort -g "$1" | tail -n 1; }

# Offset and length of the data chunk, so that headers of different writers compare equal.
pcm_digest() {
    python3 - "$1" <<'PY'
import hashlib, struct, sys
data = open(sys.argv[1], "rb").read()
at = 12
while at + 8 <= len(data):
    cid, size = data[at:at + 4], struct.unpack("<I", data[at + 4:at + 8])[0]
    if cid == b"data":
        end = len(data) if size == 0xFFFFFFFF else at + 8 + size
        pcm = data[at + 8:end]
        print(hashlib.sha256(pcm).hexdigest(), len(pcm))
        break
    at += 8 + size + (size & 1)
PY
}

status=0
for input in cbr128 cbr320 layer2; do
    mp3="$work/$input.mp3"
    rm -f "$work"/*.times "$work"/*.rss
    for ((i = 0; i < runs; i++)); do # interleaved, so drift of the machine hits all alike
        time_one utils "$utils" --decode "$mp3" "$work/utils.wav"
        time_one mpg123 mpg123 -q -w "$work/mpg123.wav" "$mp3"
        time_one ffmpeg ffmpeg -nostdin -loglevel error -y -i "$mp3" "$work/ffmpeg.wav"
    done
    u=$(median "$work/utils.times")
    m=$(median "$work/mpg123.times")
    f=$(median "$work/ffmpeg.times")
    best=$(awk -v a="$m" -v b="$f" 'BEGIN { print (a < b) ? a : b }')
    echo "== $input.mp3 ($(stat -c %s "$mp3") bytes, 300 s), median of $runs runs"
    printf '  utils.exe  %7.3f s  peak %6.1f MB\n' "$u" "$(awk -v k="$(maximum "$work/utils.rss")" 'BEGIN { print k / 1024 }')"
    printf '  mpg123 -w  %7.3f s  peak %6.1f MB\n' "$m" "$(awk -v k="$(maximum "$work/mpg123.rss")" 'BEGIN { print k / 1024 }')"
    printf '  ffmpeg -i  %7.3f s  peak %6.1f MB\n' "$f" "$(awk -v k="$(maximum "$work/ffmpeg.rss")" 'BEGIN { print k / 1024 }')"
    ratio=$(awk -v u="$u" -v b="$best" 'BEGIN { printf "%.3f", u / b }')
    echo "  utils.exe / mpg123 = $(awk -v u="$u" -v m="$m" 'BEGIN { printf "%.3f", u / m }')," \
        "utils.exe / ffmpeg = $(awk -v u="$u" -v f="$f" 'BEGIN { printf "%.3f", u / f }')," \
        "utils.exe / faster = $ratio (target <= 1.05)"
    awk -v r="$ratio" 'BEGIN { exit !(r > 1.05) }' && { echo "  SLOWER THAN TARGET"; status=1; }
    [ "$(maximum "$work/utils.rss")" -lt 16384 ] || { echo "  PEAK MEMORY OVER 16 MB"; status=1; }
    ours=$(pcm_digest "$work/utils.wav")
    theirs=$(pcm_digest "$work/mpg123.wav")
    if [ "$ours" = "$theirs" ]; then
        echo "  PCM data identical to mpg123 -w ($(echo "$ours" | cut -d' ' -f2) bytes)"
    else
        echo "  PCM DATA DIFFERS: utils.exe $ours, mpg123 -w $theirs"
        status=1
    fi
done
# Opt-in (RF64=1): a stream of about 7 hours, so the WAV passes 4 GiB and must be RF64. The stream
# is a 10-second CBR file without an Info frame repeated; it needs about 1 GB plus 4.5 GB of disk.
if [ "${RF64:-0}" = 1 ]; then
    sox -n -r 44100 -c 2 "$work/ten.wav" synth 10 sine 440 pinknoise
    encode "$work/ten.wav" "$work/ten.mp3" -c:a libshine -b:a 320k -write_xing 0 -id3v2_version 0
    for ((i = 0; i < 2500; i++)); do cat "$work/ten.mp3"; done >"$work/long.mp3"
    rm -f "$work"/*.wav "$work/cbr128.mp3" "$work/cbr320.mp3" "$work/layer2.mp3"
    start=$EPOCHREALTIME
    /usr/bin/time -f %M -o "$work/long.rss" "$utils" --decode "$work/long.mp3" "$work/long.wav" 2>"$work/long.err" ||
        { tail -c 300 "$work/long.err"; status=1; }
    echo "== long.mp3 ($(stat -c %s "$work/long.mp3") bytes): decoded in" \
        "$(echo "$start $EPOCHREALTIME" | awk '{ printf "%.1f", $2 - $1 }') s, last line:" \
        "$(tail -c 60 "$work/long.err" | tr '\r' '\n' | grep Frame | tail -n 1)," \
        "peak $(awk -v k="$(cat "$work/long.rss")" 'BEGIN { printf "%.1f", k / 1024 }') MB"
    python3 - "$work/long.wav" <<'PY' || status=1
import os, struct, sys
path = sys.argv[1]
size = os.path.getsize(path)
with open(path, "rb") as f:
    head = f.read(80)
assert head[0:4] == b"RF64" and head[12:16] == b"ds64", head[0:16]
riff, data, samples = struct.unpack("<QQQ", head[20:44])
assert riff == size - 8, (riff, size)
assert data == size - 80 and head[72:76] == b"data", (data, size)
assert samples == data // 4 and data % 4608 == 0, (samples, data)  # whole 1152-sample frames
print("  RF64 header correct: %d bytes of audio (%.2f GiB, %.2f hours)" % (data, data / 2**30, samples / 44100 / 3600))
PY
fi
exit $status
