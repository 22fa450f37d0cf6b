#!/usr/bin/env bash
# Sets up what is missing, builds Wavesmith and starts it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DWAVESMITH_TESTS=OFF -DWAVESMITH_BENCH=OFF >/dev/null
cmake --build "$root/build/release"
exec "$root/build/release/bin/wavesmith" "$@"
