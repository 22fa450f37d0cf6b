#!/usr/bin/env bash
# Runs the tests of refused folders and files as an unprivileged user. Root passes every permission
# check, so those tests skip under root, as CI runs; run as root, this script runs them again under
# another user, from a copy of the programs and fixtures in a folder that user can read. Each one
# must run and pass: a skip fails the script too.
# Usage: permission_tests.sh <folder of the test programs> <fixtures folder>
set -euo pipefail
bin=$1
fixtures=$2
user=65534 # nobody
# Each test program with the tests it runs as that user.
tests=(
    "engine_tests BatchPaths.StartRuleReportsRefusedFolder:RunLogFile.UncreatableFileRaisesAndKeepsLines:*BatchRun.OutputThatCannotBeFlushedKeepsItsSourceAndFails/*"
    "filelist_tests SavedListFile.ReadOnlyFolderKeepsTheOldFile"
    "decoder_tests BadPaths.ReadOnlyOutputFolder"
)
expected=6 # the batch test runs with one decoder and with two

[ "$(id -u)" = 0 ] || { echo "permission_tests.sh changes the user: run it as root"; exit 1; }
work=$(mktemp -d -p /tmp wavesmith-permissions.XXXXXX)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
mkdir "$work/bin" "$work/logs" "$work/home" "$work/home/tmp"
chmod 700 "$work/home/tmp" # as a runtime folder must be
for entry in "${tests[@]}"; do cp "$bin/${entry%% *}" "$work/bin/"; done
cp "$bin/childtool" "$bin/utils.exe" "$work/bin/"
cp -r "$fixtures" "$work/fixtures"
chmod -R a+rX "$work/bin" "$work/fixtures"
chown -R "$user:$user" "$work/home"

passed=0
for entry in "${tests[@]}"; do
    program=${entry%% *}
    log="$work/logs/$program.log"
    if ! (cd "$work/home" && setpriv --reuid=$user --regid=$user --clear-groups \
        env HOME="$work/home" TMPDIR="$work/home/tmp" XDG_RUNTIME_DIR="$work/home/tmp" \
        WAVESMITH_FIXTURES="$work/fixtures" "$work/bin/$program" --gtest_filter="${entry#* }") \
        </dev/null >"$log" 2>&1; then
        cat "$log"
        echo "$program failed as user $user"
        exit 1
    fi
    if grep -q '^\[  SKIPPED \]' "$log"; then
        cat "$log"
        echo "$program skipped a test as user $user"
        exit 1
    fi
    passed=$((passed + $(grep -c '^\[       OK \]' "$log" || true)))
done
[ "$passed" -eq "$expected" ] || { echo "$passed of the $expected permission tests ran as user $user"; exit 1; }
echo "the $passed permission tests pass as user $user"
