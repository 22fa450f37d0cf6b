#!/usr/bin/env bash
# Decodes a folder of MP3 files with GNU parallel as the README's scale-out section does, the local
# host standing in for two logins (-S 2/:). Every good file gives the WAV file a direct run gives; a
# cut one (decoded but for its last frame) ends apart: parallel's exit status counts it and the job log holds the decoder's
# exit code for it.
# Usage: scaleout_test.sh path/to/utils.exe path/to/fixtures
set -euo pipefail
utils=$1
fixtures=$2
command -v parallel >/dev/null || { echo "GNU parallel is not installed"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/in" "$work/out" "$work/direct"
cp "$fixtures/cbr_stereo_44k.mp3" "$fixtures/mono_44k.mp3" "$fixtures/layer2_48k.mp3" "$work/in/"
cp "$fixtures/vbr_stereo_44k.mp3" "$work/in/with blank.mp3"
head -c 20000 "$fixtures/cbr_stereo_44k.mp3" >"$work/in/cut short.mp3"

# The README's command, with -S 2/: in place of --sshloginfile.
status=0
find "$work/in" -name '*.mp3' |
    parallel -S 2/: --joblog "$work/jobs.log" "$utils" --threads 1 --decode {} "$work/out/{/.}.wav" \
        >/dev/null 2>&1 || status=$?
[ "$status" = 1 ] || { echo "parallel ended with $status, not 1 (one failed job)"; cat "$work/jobs.log"; exit 1; }

# The job log: a header, then one line per file with the decoder's exit code in column 7.
failed=$(awk -F'\t' 'NR > 1 && $7 != 0 { print $7 " " $9 }' "$work/jobs.log")
[[ "$failed" == "8 "*"cut short.mp3"* ]] || { echo "unexpected failures: $failed"; exit 1; }
[ "$(awk 'NR > 1' "$work/jobs.log" | wc -l)" = 5 ] || { echo "not every file ran"; exit 1; }

for mp3 in "$work/in"/*.mp3; do
    name=$(basename "$mp3" .mp3)
    [ "$name" = "cut short" ] && continue
    "$utils" --decode "$mp3" "$work/direct/$name.wav" 2>/dev/null
    cmp "$work/out/$name.wav" "$work/direct/$name.wav" || { echo "$name.wav differs from a direct run"; exit 1; }
done
echo "5 files on two logins: 4 decoded as a direct run decodes them, the cut one ended with 8 (decoded, damage passed over)"
