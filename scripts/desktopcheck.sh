#!/usr/bin/env bash
# Checks an installed Wavesmith as a user sees it, on a virtual X server of two monitors side by side
# with a real window manager (openbox): a window saved on the second monitor reopens there with its
# whole frame on it; a question box's frame is centred on the main window's frame; and, read through
# the accessibility bus, the gauge shows its maximum at the end of a batch and holds it before the
# idle texts. A piece whose tools are missing is skipped with the reason.
#   desktopcheck.sh <install prefix>
set -euo pipefail
prefix=$(cd "$1" && pwd)
for tool in Xvfb openbox xdotool xwininfo xprop xrandr ffmpeg; do
    command -v "$tool" >/dev/null || { echo "skipped: needs $tool"; exit 0; }
done
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -m 700 "$work/runtime"
export HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
export QT_QPA_PLATFORM=xcb PATH="$prefix/bin:$PATH"
mkdir -p "$HOME" "$XDG_CONFIG_HOME/wavesmith" "$work/src"
ini="$XDG_CONFIG_HOME/wavesmith/wavesmith.ini"
fail() { echo "FAILED: $*" >&2; exit 1; }

# One wide screen, split into two monitors of 1280 x 1024 where the server keeps them.
display=:$((100 + RANDOM % 800))
Xvfb "$display" -screen 0 2560x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display
timeout 20 bash -c 'until xdpyinfo >/dev/null 2>&1 || xprop -root >/dev/null 2>&1; do sleep 0.05; done' ||
    fail "the X server did not start"
xrandr --setmonitor left 1280/338x1024/270+0+0 default >/dev/null 2>&1 || true
xrandr --setmonitor right 1280/338x1024/270+1280+0 none >/dev/null 2>&1 || true
monitors=$(xrandr --listmonitors | head -n1 | grep -o '[0-9]*$')
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
timeout 20 bash -c 'until xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"; do sleep 0.05; done' ||
    fail "openbox did not start"

# Frame of a window as "left top width height": its inner rectangle grown by the frame the manager drew.
frame_of() {
    local info extents
    info=$(xwininfo -id "$1")
    extents=$(xprop -id "$1" _NET_FRAME_EXTENTS | grep -o '[0-9, ]*$' | tr -d ' ')
    IFS=, read -r fl fr ft fb <<<"${extents:-0,0,0,0}"
    local x y w h
    x=$(awk '/Absolute upper-left X/ {print $4}' <<<"$info")
    y=$(awk '/Absolute upper-left Y/ {print $4}' <<<"$info")
    w=$(awk '/Width:/ {print $2}' <<<"$info")
    h=$(awk '/Height:/ {print $2}' <<<"$info")
    echo "$((x - fl)) $((y - ft)) $((w + fl + fr)) $((h + ft + fb))"
}
# The window of that title once the manager has framed it (its frame extents are set).
framed_window() {
    local id
    id=$(timeout 20 xdotool search --sync --onlyvisible --name "$1" | head -n1) || fail "no window \"$1\""
    timeout 20 bash -c "until xprop -id $id _NET_FRAME_EXTENTS | grep -q '='; do sleep 0.05; done" ||
        fail "\"$1\" was never framed"
    echo "$id"
}
# Waits until the window's frame stays put (the program fits it once it is framed).
settled_frame() {
    local last="" now
    for _ in $(seq 1 40); do
        now=$(frame_of "$1")
        [ "$now" = "$last" ] && { echo "$now"; return; }
        last=$now
        sleep 0.1
    done
    echo "$now"
}
start_program() {
    "$prefix/bin/wavesmith" "$@" >>"$work/program.log" 2>&1 &
    program=$!
    pids+=($program)
}
stop_program() {
    kill "$program" 2>/dev/null || true
    wait "$program" 2>/dev/null || true
}

echo "== A window saved on the second monitor reopens there, its whole frame inside the work area"
if [ "$monitors" -ge 2 ]; then
    printf '[Form]\nx=1700\ny=300\nwidth=452\nheight=261\nmaximized=0\n' >"$ini"
    start_program
    read -r left top width height < <(settled_frame "$(framed_window '^Wavesmith 2.6$')")
    [ "$left" -ge 1280 ] || fail "the window saved at x=1700 opened at x=$left, not on the second monitor"
    echo "reopened at $left,$top on the second monitor"
    stop_program
else
    echo "skipped the second monitor: this X server shows $monitors monitor (it keeps no xrandr --setmonitor)"
fi
# Taller than the screen: the frame, title bar included, is fitted into the work area.
printf '[Form]\nx=1400\ny=100\nwidth=900\nheight=1400\nmaximized=0\n' >"$ini"
start_program
read -r left top width height < <(settled_frame "$(framed_window '^Wavesmith 2.6$')")
IFS=', ' read -r ax ay aw ah _ < <(xprop -root _NET_WORKAREA | sed 's/.*= //')
[ "$left" -ge "$ax" ] && [ "$top" -ge "$ay" ] && [ $((left + width)) -le $((ax + aw)) ] &&
    [ $((top + height)) -le $((ay + ah)) ] ||
    fail "the restored frame $width x $height at $left,$top is not inside the work area $aw x $ah at $ax,$ay"
echo "a saved 900 x 1400 opened as a frame of $width x $height at $left,$top, inside the work area"
stop_program

echo "== A question box is centred on the main window's frame"
ffmpeg -loglevel error -f lavfi -i "sine=frequency=440:duration=0.3" -c:a libshine "$work/src/song.mp3"
: >"$work/src/song.wav" # an earlier output of this source beside it: the batch asks before replacing it
printf '[General]\nPlaySound=0\nExitWhenDone=0\n[Form]\nx=300\ny=200\nwidth=452\nheight=261\n' >"$ini"
start_program -C "$work/src/song.mp3"
read -r mx my mw mh < <(settled_frame "$(framed_window '^Wavesmith 2.6$')")
box=$(framed_window '^Overwrite file\?$')
read -r bx by bw bh < <(settled_frame "$box")
dx=$(((bx + bw / 2) - (mx + mw / 2)))
dy=$(((by + bh / 2) - (my + mh / 2)))
[ "${dx#-}" -le 3 ] && [ "${dy#-}" -le 3 ] || fail "the box's frame centre is off the main window's by $dx,$dy"
echo "the box's frame centre is $dx,$dy px from the main window's"
stop_program

echo "== The gauge shows its maximum at the end of a batch and holds it before the idle texts"
if ! /usr/bin/python3 -c 'import pyatspi' 2>/dev/null || ! command -v dbus-run-session >/dev/null; then
    echo "skipped: needs python3-pyatspi and dbus-run-session"
    exit 0
fi
for n in $(seq 1 40); do cp "$work/src/song.mp3" "$work/src/song$n.mp3"; done
rm -f "$work/src/song.mp3" "$work/src/song.wav"
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
dbus-run-session -- /usr/bin/python3 "$(dirname "$0")/gaugewatch.py" "$prefix/bin/wavesmith" "$work"/src/*.mp3
