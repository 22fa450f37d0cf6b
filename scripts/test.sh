#!/usr/bin/env bash
# Sets up what is missing, builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs the whole suite; then builds the runner's tests with ThreadSanitizer and runs them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
bash "$root/scripts/setup.sh"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$root/tests/tsan.supp

werror=OFF
[ "${CI:-}" = "true" ] && werror=ON

echo "== Build and test with AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S "$root" -B "$root/build/asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    "-DWAVESMITH_SANITIZE=address;undefined" -DWAVESMITH_WERROR=$werror -DWAVESMITH_BENCH=OFF >/dev/null
cmake --build "$root/build/asan" -j "$jobs"
ctest --test-dir "$root/build/asan" -j "$jobs" --output-on-failure </dev/null

echo "== The runner's tests and the batch with two decoders at once, with ThreadSanitizer"
cmake -S "$root" -B "$root/build/tsan" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DWAVESMITH_SANITIZE=thread -DWAVESMITH_WERROR=$werror -DWAVESMITH_BENCH=OFF >/dev/null
cmake --build "$root/build/tsan" -j "$jobs" --target engine_tests childtool
ctest --test-dir "$root/build/tsan" -j "$jobs" --output-on-failure -R 'Redirector|2Decoders' </dev/null

echo "== Fuzz the playlist readers for a bounded time (FUZZ_SECONDS each, default 30)"
CC=clang CXX=clang++ cmake -S "$root" -B "$root/build/fuzz" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DWAVESMITH_FUZZ=ON -DWAVESMITH_TESTS=OFF -DWAVESMITH_BENCH=OFF -DWAVESMITH_WERROR=$werror >/dev/null
cmake --build "$root/build/fuzz" -j "$jobs" --target m3u_fuzz pls_fuzz
for kind in m3u pls; do
    corpus="$root/build/fuzz/corpus/$kind"
    mkdir -p "$corpus"
    log="$root/build/fuzz/$kind.log"
    if ! "$root/build/fuzz/bin/${kind}_fuzz" -max_total_time="${FUZZ_SECONDS:-30}" -timeout=5 -print_final_stats=1 \
        "$corpus" "$root/tests/fuzz/seeds/$kind" </dev/null >"$log" 2>&1; then
        tail -n 60 "$log"
        echo "${kind}_fuzz found a fault (full output: $log)"
        exit 1
    fi
    echo "${kind}_fuzz: $(grep -m1 -o 'number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$') runs, no fault"
done
