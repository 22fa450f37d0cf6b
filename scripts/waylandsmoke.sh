#!/usr/bin/env bash
# Starts an installed Wavesmith on a headless Wayland compositor and checks that its main window comes
# up natively: a toplevel with the window's title whose surface gets a drawn buffer, as the client's own
# protocol log shows. Prints how long that took; fails when the window never comes.
#   waylandsmoke.sh <install prefix>
set -euo pipefail
prefix=$(cd "$1" && pwd)
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -m 700 "$work/runtime"
export HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
mkdir -p "$HOME"
unset DISPLAY

# Waits, bounded, until the file has a line that matches.
await() {
    grep -m1 -q -E -- "$2" < <(timeout 20 tail -n +1 -f "$1") || { echo "no \"$2\" within 20 s:"; tail -n 20 "$1"; exit 1; }
}
weston --backend=headless-backend.so --socket=wavesmith-0 --idle-time=0 >"$work/weston.log" 2>&1 &
pids+=($!)
timeout 20 bash -c "until [ -S '$XDG_RUNTIME_DIR/wavesmith-0' ]; do sleep 0.05; done" || { echo "weston did not start:"; cat "$work/weston.log"; exit 1; }

started=$(date +%s%N)
WAYLAND_DISPLAY=wavesmith-0 QT_QPA_PLATFORM=wayland WAYLAND_DEBUG=client "$prefix/bin/wavesmith" >/dev/null 2>"$work/client.log" &
pids+=($!)
await "$work/client.log" 'xdg_toplevel@[0-9]+\.set_title\("Wavesmith 2\.6"\)'
await "$work/client.log" 'wl_surface@[0-9]+\.attach\(wl_buffer@'
echo "Wayland: the main window came up natively after $((($(date +%s%N) - started) / 1000000)) ms"
