#!/usr/bin/env bash
# Measures the desktop's launch feedback of an installed Wavesmith on a virtual X server: a first start
# with a startup id, then a gtk-launch that hands a file to the running window. Each launch counts as
# complete when the "remove:" message for its id reaches the root window; prints the milliseconds
# from the "new:" message (or the start) to it, and fails when a launch is never completed.
#   launchfeedback.sh <install prefix> <startupwatch program>
set -euo pipefail
prefix=$(cd "$1" && pwd)
watch=$2
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-nolisten tcp" "$0" "$@"
fi
work=$(mktemp -d)
program=""
cleanup() {
    [ -n "$program" ] && kill "$program" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -m 700 "$work/runtime"
export HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
export XDG_DATA_DIRS="$prefix/share:/usr/share" PATH="$prefix/bin:$PATH" QT_QPA_PLATFORM=xcb
mkdir -p "$HOME"
cp "$(dirname "$0")/../tests/fixtures/cbr_stereo_44k.mp3" "$work/handed.mp3"

# Waits, bounded, until the watch's log has a line that matches.
await() {
    grep -m1 -q -- "$1" < <(timeout 20 tail -n +1 -f "$work/watch.log") || { echo "no \"$1\" within 20 s:"; cat "$work/watch.log"; exit 1; }
}
"$watch" 2 20000 >"$work/watch.log" &
await '^ready$'

started=$(date +%s%N)
DESKTOP_STARTUP_ID="first-start_TIME0" "$prefix/bin/wavesmith" &
program=$!
await ' remove: ID=first-start_TIME0$'
echo "first start: launch completed after $((($(date +%s%N) - started) / 1000000)) ms (from the start)"

gtk-launch org.example.wavesmith "$work/handed.mp3"
await ' new: ID='
new=$(grep -m1 ' new: ID=' "$work/watch.log")
id=$(sed 's/.* new: ID="\{0,1\}\([^" ]*\).*/\1/' <<<"$new")
await " remove: ID=$id\$"
removed=$(grep -m1 " remove: ID=$id\$" "$work/watch.log")
echo "hand-over: launch $id completed after $((${removed%% *} - ${new%% *})) ms (from its new: message)"
# The watch has seen both removes and ends; the hand-over's process has ended before its launch did.
wait %1
