#!/usr/bin/env bash
# What one decoded file costs as the output folder fills up: a 2-second MP3 file decoded into
# folders that already hold 0, 20,000 and 100,000 files, each run a whole process, the folders
# taking turns run by run so that the machine's drift touches each alike. Prints the median
# processor time (user + system, from wait4) and wall time per file for each folder, and the ratio
# of the largest folder to the empty one (target: at most 1.2).
# Usage: bench/output_folder_bench.sh [path/to/utils.exe]   (RUNS=n, default 30; SIZES="0 20000 100000")
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
utils=${1:-$here/../build/release/bin/utils.exe}
runs=${RUNS:-30}
read -r -a sizes <<<"${SIZES:-0 20000 100000}"
[ -x "$utils" ] || { echo "no decoder at $utils (build the utils.exe target first)" >&2; exit 2; }
for tool in sox ffmpeg python3; do command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 2; }; done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sox -n -r 44100 -c 2 "$work/tone.wav" synth 2 sine 440 sine 660
ffmpeg -nostdin -loglevel error -y -i "$work/tone.wav" -c:a libshine -b:a 128k "$work/in.mp3"

cat >"$work/run.py" <<'PY'
import os, statistics, subprocess, sys, time
utils, work, runs, sizes = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4:]
for size in sizes:
    os.mkdir("%s/out%s" % (work, size))
    for i in range(int(size)):
        open("%s/out%s/track %06d.wav" % (work, size, i), "w").close()
cpu = {size: [] for size in sizes}
wall = {size: [] for size in sizes}
for run in range(runs):
    for size in sizes:
        out = "%s/out%s/new %d.wav" % (work, size, run)
        start = time.monotonic()
        child = subprocess.Popen([utils, "--decode", work + "/in.mp3", out],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        _, status, usage = os.wait4(child.pid, 0)
        child.returncode = 0
        wall[size].append(time.monotonic() - start)
        if status != 0:
            sys.exit("decode failed into the folder of %s files" % size)
        cpu[size].append(usage.ru_utime + usage.ru_stime)
        os.remove(out)
print("%-22s %14s %14s" % ("files in the folder", "cpu ms/file", "wall ms/file"))
for size in sizes:
    print("%-22s %14.2f %14.2f" % (size, statistics.median(cpu[size]) * 1000,
                                   statistics.median(wall[size]) * 1000))
first, last = sizes[0], sizes[-1]
ratio = statistics.median(cpu[last]) / max(statistics.median(cpu[first]), 1e-9)
print("cpu ratio %s / %s files: %.2f (target <= 1.2)" % (last, first, ratio))
PY
python3 "$work/run.py" "$utils" "$work" "$runs" "${sizes[@]}"
