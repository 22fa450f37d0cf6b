#!/usr/bin/env bash
# Sets up what is missing, builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs the whole suite (under root, the permission tests again as another user); installs that build
# into a temporary prefix and validates the installed layout, desktop files and manual pages and the
# launch feedback; builds the release package and runs lintian (pedantic) and hardening-check on it;
# then builds the runner's, the batch's and the split decoder's tests with ThreadSanitizer and runs them,
# and fuzzes the playlist readers and the decoder. The release, thread-sanitizer and fuzzing builds
# compile at the lowest priority while the suite runs, which spends much of its time waiting on
# decoders and timers. Each stage ends with its wall and processor time.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
clock=$(getconf CLK_TCK)
stage_name=
stage() {
    local fields processor
    read -r -a fields </proc/$$/stat # this shell's and its waited-for children's user and system time
    processor=$((fields[13] + fields[14] + fields[15] + fields[16]))
    if [ -n "$stage_name" ]; then
        printf -- '-- %s: %d s wall, %d s processor\n' "$stage_name" $((SECONDS - stage_wall)) \
            $(((processor - stage_processor) / clock))
    fi
    stage_name=$1 stage_wall=$SECONDS stage_processor=$processor
    [ -z "$1" ] || echo "== $1"
}
stage "Setup"
bash "$root/scripts/setup.sh"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$root/tests/tsan.supp

werror=OFF
[ "${CI:-}" = "true" ] && werror=ON

# The thread sanitizer runs the tests of the runner, of two decoders at once and of the split decoder;
# its build compiles only the test sources that hold them.
threaded_tests='Redirector|2Decoders|SplitDecode'
threaded_sources='TEST(_[FP])?\((Redirector|SplitDecode)|DecodersName'

build_release() {
    cmake -S "$root" -B "$root/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DWAVESMITH_TESTS=OFF \
        -DWAVESMITH_BENCH=OFF -DWAVESMITH_WERROR=$werror >/dev/null
    cmake --build "$root/build/release" -j "$jobs"
}
build_tsan() {
    cmake -S "$root" -B "$root/build/tsan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DWAVESMITH_SANITIZE=thread \
        "-DWAVESMITH_TESTS_MATCHING=$threaded_sources" -DWAVESMITH_WERROR=$werror -DWAVESMITH_BENCH=OFF >/dev/null
    cmake --build "$root/build/tsan" -j "$jobs" --target engine_tests decoder_tests childtool utils.exe
}
build_fuzz() {
    CC=clang CXX=clang++ cmake -S "$root" -B "$root/build/fuzz" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
        -DWAVESMITH_FUZZ=ON -DWAVESMITH_TESTS=OFF -DWAVESMITH_BENCH=OFF -DWAVESMITH_WERROR=$werror >/dev/null
    cmake --build "$root/build/fuzz" -j "$jobs" --target m3u_fuzz pls_fuzz decoder_fuzz
}

stage "Build with AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S "$root" -B "$root/build/asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    "-DWAVESMITH_SANITIZE=address;undefined" -DWAVESMITH_WERROR=$werror -DWAVESMITH_BENCH=OFF >/dev/null
cmake --build "$root/build/asan" -j "$jobs"

stage "Test with AddressSanitizer + UndefinedBehaviorSanitizer (the other builds beside it, at low priority)"
later_builds="$root/build/later-builds.log"
# In a process group of their own (job control on), so that a failing stage stops them all; the
# processor times after each build go to their log.
set -m
(
    renice -n 19 -p "$BASHPID" >/dev/null
    build_release && times && build_tsan && times && build_fuzz && times
) </dev/null >"$later_builds" 2>&1 &
later_pid=$!
set +m
prefix=
cleanup() {
    [ -z "$later_pid" ] || kill -- "-$later_pid" 2>/dev/null || true
    [ -z "$prefix" ] || rm -rf "$prefix"
}
trap cleanup EXIT
ctest --test-dir "$root/build/asan" -j "$jobs" --output-on-failure </dev/null
if [ "$(id -u)" = 0 ]; then
    stage "The tests of refused folders and files, which skip under root, as an unprivileged user"
    bash "$root/scripts/permission_tests.sh" "$root/build/asan/bin" "$root/tests/fixtures"
fi

stage "A FAT32 drive through FUSE, as a USB stick: the decoder finishes, never replaces, refuses ':'"
bash "$root/scripts/fatdrive.sh" "$root/build/asan/bin" "$root/tests/fixtures"

stage "Install into a temporary prefix and validate what a desktop reads"
prefix=$(mktemp -d)
cmake --install "$root/build/asan" --prefix "$prefix" >/dev/null
for file in lib/wavesmith/wavesmith lib/wavesmith/utils.exe lib/wavesmith/installed share/wavesmith/complete.wav \
    share/wavesmith/help/index.htm share/wavesmith/help/Options.htm "share/wavesmith/help/Frequently Asked Questions.htm" \
    share/man/man1/wavesmith.1.gz share/man/man1/utils.exe.1.gz share/doc/wavesmith/copyright \
    share/doc/wavesmith/changelog.gz \
    share/icons/hicolor/scalable/apps/org.example.wavesmith.svg \
    share/icons/hicolor/48x48/apps/org.example.wavesmith.png \
    share/icons/hicolor/256x256/apps/org.example.wavesmith.png; do
    [ -f "$prefix/$file" ] || { echo "missing from the installed layout: $file"; exit 1; }
done
[ "$(readlink "$prefix/bin/wavesmith")" = ../lib/wavesmith/wavesmith ] || { echo "bin/wavesmith is no link to the program"; exit 1; }
desktop-file-validate "$prefix/share/applications/org.example.wavesmith.desktop"
# Claiming folders would make a converter the desktop's folder opener where no file manager is installed.
if grep -q 'inode/directory' "$prefix/share/applications/org.example.wavesmith.desktop" \
    "$prefix/share/metainfo/org.example.wavesmith.metainfo.xml"; then
    echo "the desktop entry or the AppStream data claims folders (inode/directory)"
    exit 1
fi
appstreamcli validate --no-net "$prefix/share/metainfo/org.example.wavesmith.metainfo.xml"
for page in wavesmith utils.exe; do
    warnings=$(MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || { echo "$page(1): $warnings"; exit 1; }
done

stage "A start handed to the running window completes the desktop's launch feedback (X11)"
if command -v xvfb-run >/dev/null && command -v gtk-launch >/dev/null && [ -x "$root/build/asan/bin/startupwatch" ]; then
    bash "$root/scripts/launchfeedback.sh" "$prefix" "$root/build/asan/bin/startupwatch"
else
    echo "skipped: needs xvfb-run, gtk-launch and a build with X11"
fi

stage "The main window comes up natively on Wayland (a headless compositor)"
if command -v weston >/dev/null && [ -n "$(find /usr/lib -path '*/platforms/libqwayland-generic.so' -print -quit)" ]; then
    bash "$root/scripts/waylandsmoke.sh" "$prefix"
else
    echo "skipped: needs weston and qt6-wayland"
fi

stage "What a user sees on X11 with openbox: the window's monitor and frame, a box centred, the gauge's end"
bash "$root/scripts/desktopcheck.sh" "$prefix"

stage "The release, thread-sanitizer and fuzzing builds: the rest of their compiling"
wait "$later_pid" || { tail -n 80 "$later_builds"; echo "a build beside the suite failed (full output: $later_builds)"; exit 1; }
later_pid=

stage "The release build's Debian package and lintian on it"
rm -f "$root"/build/release/wavesmith_*.deb
(cd "$root/build/release" && cpack -G DEB >/dev/null)
if command -v lintian >/dev/null; then
    report=$(lintian --pedantic --display-info --tag-display-limit 0 "$root"/build/release/wavesmith_*.deb 2>&1 || true)
    findings=$(grep -E '^[EW]: ' <<<"$report" || true)
    [ -z "$findings" ] || { echo "$findings"; exit 1; }
    # The release is hardened by its own build configuration: no hardening tag at any level.
    findings=$(grep -E '^[EWIP]: .*hardening-' <<<"$report" || true)
    [ -z "$findings" ] || { echo "$findings"; exit 1; }
    echo "lintian (pedantic): no errors, no warnings and no hardening tags"
fi
if command -v hardening-check >/dev/null; then
    unpacked=$(mktemp -d)
    dpkg-deb -x "$root"/build/release/wavesmith_*.deb "$unpacked"
    # Control-flow protection is asked of the compiler, but the C library's start files of this
    # release carry no such mark, so no program linked here has it (the system's own do not either).
    for program in wavesmith utils.exe; do
        hardening-check --nocfprotection "$unpacked/usr/lib/wavesmith/$program" || { rm -rf "$unpacked"; exit 1; }
    done
    rm -rf "$unpacked"
else
    echo "hardening-check skipped: needs devscripts"
fi

stage "The runner's tests, the batch with two decoders at once and the decoder split across threads, with ThreadSanitizer"
ctest --test-dir "$root/build/tsan" -j "$jobs" --output-on-failure -R "$threaded_tests" </dev/null

# Inputs that once made a target fail are kept among its seeds, so every run replays them first.
stage "Fuzz the playlist readers and the decoder for a bounded time (FUZZ_SECONDS each, default 30, side by side)"
declare -A fuzzing
for kind in m3u pls decoder; do
    corpus="$root/build/fuzz/corpus/$kind"
    mkdir -p "$corpus"
    "$root/build/fuzz/bin/${kind}_fuzz" -max_total_time="${FUZZ_SECONDS:-30}" -timeout=5 -print_final_stats=1 \
        "$corpus" "$root/tests/fuzz/seeds/$kind" </dev/null >"$root/build/fuzz/$kind.log" 2>&1 &
    fuzzing[$kind]=$!
done
for kind in m3u pls decoder; do
    log="$root/build/fuzz/$kind.log"
    if ! wait "${fuzzing[$kind]}"; then
        tail -n 60 "$log"
        echo "${kind}_fuzz found a fault (full output: $log)"
        exit 1
    fi
    echo "${kind}_fuzz: $(grep -m1 -o 'number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$') runs, no fault"
done
stage ""
