#!/usr/bin/env bash
# The decoder and the batch's name check on a real FAT32 drive through FUSE, as a USB stick is
# written: no no-replace rename, no hard links, names with ':' refused. Usage: fatdrive.sh BIN FIXTURES
# Skips, saying why, where FUSE or the tools are missing.
set -euo pipefail
bin=$1
fixtures=$2
skip() {
    echo "skipped: $1"
    exit 0
}
[ -c /dev/fuse ] || skip "no /dev/fuse here"
command -v fusefat >/dev/null || skip "needs fusefat"
command -v mkfs.vfat >/dev/null || skip "needs mkfs.vfat (dosfstools)"
work=$(mktemp -d)
mnt=$work/fat
mkdir "$mnt"
cleanup() {
    fusermount -u "$mnt" 2>/dev/null || umount "$mnt" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
truncate -s 64M "$work/fat.img"
mkfs.vfat -F 32 "$work/fat.img" >/dev/null
fusefat -o rw+ "$work/fat.img" "$mnt" >/dev/null 2>&1 || skip "fusefat cannot mount here"
grep -q " $mnt .* - fuse.fusefat " /proc/self/mountinfo || skip "fusefat mounted nothing"

fail() {
    echo "FAIL: $1" >&2
    exit 1
}
decode() { "$bin/utils.exe" --decode "$@" 2>"$work/err" >/dev/null; }
mp3=$fixtures/cbr_stereo_44k.mp3
decode "$mp3" "$work/local.wav" || fail "decoding to the local disk"
decode "$mp3" "$mnt/a.wav" || fail "decoding onto the FAT drive: $(tail -1 "$work/err")"
cmp -s "$work/local.wav" "$mnt/a.wav" || fail "the WAV on the FAT drive differs from the local one"
rc=0
decode "$mp3" "$mnt/a.wav" || rc=$?
[ "$rc" = 6 ] || fail "an existing WAV on the FAT drive: exit $rc, not 6"
rc=0
decode "$mp3" "$mnt/a:b.wav" || rc=$?
[ "$rc" = 4 ] || fail "a name with ':' on the FAT drive: exit $rc, not 4"

# A partial file left as a killed decoder leaves it is cleared by the next decoder of that output.
# (Killing a writer on this drive is not done here: the FUSE FAT driver itself stops answering after it.)
printf 'unfinished' >"$mnt/.b.wav.part"
decode "$mp3" "$mnt/b.wav" || fail "decoding over a killed decoder's partial file: $(tail -1 "$work/err")"
left=$(find "$mnt" -name '*.part')
[ -z "$left" ] || fail "partial files left: $left"

WAVESMITH_FAT_DIR=$mnt/ "$bin/engine_tests" --gtest_filter='BatchChecks.NamesTheDriveCannotHoldFailBeforeAnyDecode' \
    --gtest_brief=1 || fail "the name check on the FAT drive"
echo "FAT drive through FUSE: whole WAV, no replace, refused name, killed decoders' partial files: ok"
