#!/usr/bin/env bash
# Runs every test of Velmor on a Debian 12 machine: installs what is missing,
# builds the Linux and the Windows targets, runs the unit tests natively and
# under AddressSanitizer and UndefinedBehaviorSanitizer, the thread stress
# test under ThreadSanitizer, checks that the Windows builds (run under Wine)
# compute the same tables and files, and runs the end-to-end scenarios. The
# plugins: the test hosts natively (ctest) and under Wine against the Windows
# x64 and x86 plugins, the stand-alone program on JACK and on PulseAudio,
# the LV2 bundle through lv2_validate, the plugin zips and the Linux
# program's archive, the plugins in Ardour, and the plugin's render speed (printed). On a
# machine that runs no 32-bit programs the Windows checks run the x64 build
# (scripts/wine-env.sh), and their lines say so.
set -uo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
jobs="$(nproc)"

# What the Linux build needs first; the rest installs while it builds.
scripts/install-deps.sh build || { echo "installing the build dependencies failed"; exit 1; }
mkdir -p build
scripts/install-deps.sh >build/install.log 2>&1 &
installer=$!

passed=0
failed=0
summary=()

# Runs ctest in a build tree and adds its counts.
run_ctest() {
    local name="$1" dir="$2" log
    log="$(mktemp)"
    (cd "$dir" && ctest --output-on-failure -j "$jobs") 2>&1 | tee "$log"
    local line total bad
    line="$(grep -E '[0-9]+ tests failed out of [0-9]+' "$log" | tail -1)"
    if [ -z "$line" ]; then
        failed=$((failed + 1))
        summary+=("$name: no test ran")
    else
        bad="$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")"
        total="$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$line")"
        passed=$((passed + total - bad))
        failed=$((failed + bad))
        summary+=("$name: $((total - bad)) passed, $bad failed")
    fi
    rm -f "$log"
}

build() {
    local dir="$1"; shift
    cmake -S . -B "$dir" -G Ninja "$@" >/dev/null && cmake --build "$dir" -j "$jobs"
}

# Runs the end-to-end runner with ARGS, keeping its output in LOG; each
# scenario counts as one test.
run_e2e() {
    local name="$1" log="$2"
    shift 2
    tests/e2e/run.sh "$@" | tee "$log"
    count_e2e "$name" "$log"
}
count_e2e() {
    local name="$1" log="$2" line
    line="$(grep -E '^e2e: [0-9]+ scenarios passed, [0-9]+ failed' "$log" | tail -1)"
    if [ -z "$line" ]; then
        step_failed "$name"
        return
    fi
    passed=$((passed + $(sed -E 's/^e2e: ([0-9]+) .*/\1/' <<<"$line")))
    failed=$((failed + $(sed -E 's/.*passed, ([0-9]+) failed.*/\1/' <<<"$line")))
    summary+=("$name: ${line#e2e: }")
}

# Each part's heading, with the minutes and seconds since the start; the
# summary lists what each part took, to keep the whole within its time.
times=()
section_name="" section_start=$SECONDS
section() {
    [ -z "$section_name" ] || times+=("$section_name $((SECONDS - section_start)) s")
    section_name="$1" section_start=$SECONDS
    echo "== $2 (at $((SECONDS / 60)) min $((SECONDS % 60)) s)"
}

step_failed() {
    failed=$((failed + 1))
    summary+=("$1: FAILED")
}

section native "Linux builds (while the rest installs) and unit tests"
native_built=yes
build build/native -DCMAKE_BUILD_TYPE=Release || native_built=no
# The sanitized builds need no more than the Linux build: on a fresh machine
# they are made while the rest still installs. The build runs the
# framework's LV2 description generator on the sanitized plugin, whose own
# leaks are none of ours.
sanitize_built=yes tsan_built=yes
ASAN_OPTIONS=detect_leaks=0 build build/sanitize -DCMAKE_BUILD_TYPE=None -DVELMOR_SANITIZE=ON -DVELMOR_EDITOR=OFF || sanitize_built=no
{ cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMOR_TSAN=ON -DVELMOR_EDITOR=OFF >/dev/null \
    && cmake --build build/tsan -j "$jobs" --target velmor_concurrency_tests; } || tsan_built=no
if ! wait "$installer"; then
    cat build/install.log
    echo "installing the test dependencies failed"
    exit 1
fi
if [ "$native_built" = yes ]; then
    run_ctest "unit tests" build/native
else
    step_failed "Linux build"
fi

section start "The start command without a desktop session renders a WAVE file"
rm -f build/velmor-startup.wav
if env -u DISPLAY -u WAYLAND_DISPLAY scripts/start.sh >build/start.log 2>&1 \
    && [ "$(head -c 4 build/velmor-startup.wav)" = RIFF ] \
    && [ "$(stat -c %s build/velmor-startup.wav)" -eq $((4 * 16 * 8268 * 4 + 44)) ]; then
    passed=$((passed + 1))
    summary+=("start command without a desktop: a WAVE file of four passes, exit status 0")
else
    step_failed "start command without a desktop (see build/start.log)"
fi

section standalone "The stand-alone program on JACK and on PulseAudio"
tests/standalone/run.sh build/native | tee build/standalone.log
line="$(grep -E '^standalone: ' build/standalone.log | tail -1)"
if grep -qE '^standalone: [0-9]+ passed, [0-9]+ failed' <<<"$line"; then
    passed=$((passed + $(sed -E 's/.*: ([0-9]+) passed.*/\1/' <<<"$line")))
    failed=$((failed + $(sed -E 's/.*passed, ([0-9]+) failed.*/\1/' <<<"$line")))
    summary+=("${line}")
else
    step_failed "stand-alone program (see build/standalone.log)"
fi

section daw "The plugins in a real DAW: Ardour 7, headless (one test)"
tests/daw/run.sh build/native | tee build/daw.log
line="$(grep -E '^daw: ' build/daw.log | tail -1)"
if grep -qE '^daw: [0-9]+ passed, 0 failed' <<<"$line"; then
    passed=$((passed + 1))
    summary+=("Ardour sessions: ${line#daw: }")
elif grep -q '^daw: skipped' <<<"$line"; then
    summary+=("Ardour sessions: ${line#daw: }")
else
    step_failed "Ardour sessions (${line#daw: }; see build/daw.log)"
fi
line="$(grep -E '^note: passed only at a second run' build/daw.log)"
[ -z "$line" ] || summary+=("Ardour sessions, ${line#note: }")

section sanitizers "Unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
if [ "$sanitize_built" = yes ]; then
    run_ctest "sanitizer tests" build/sanitize
else
    step_failed "sanitizer build"
fi

section tsan "Interface and audio threads under ThreadSanitizer"
if [ "$tsan_built" = yes ]; then
    if VELMOR_STRESS_SECONDS=8 TSAN_OPTIONS="halt_on_error=1" build/tsan/tests/velmor_concurrency_tests; then
        passed=$((passed + 1))
        summary+=("thread sanitizer stress: no report")
    else
        step_failed "thread sanitizer stress"
    fi
else
    step_failed "thread sanitizer build"
fi

section lv2 "The plugin's LV2 bundle through lv2_validate"
if lv2_validate build/native/bin/Velmor.lv2/*.ttl >build/lv2-validate.log 2>&1 \
    && grep -q '^Found 0 errors' build/lv2-validate.log; then
    passed=$((passed + 1))
    summary+=("lv2_validate: $(grep '^Found' build/lv2-validate.log)")
else
    step_failed "lv2_validate (see build/lv2-validate.log)"
fi

section format "The C++ sources follow .clang-format"
if scripts/check-format.sh >build/format.log 2>&1; then
    passed=$((passed + 1))
    summary+=("format: the C++ sources follow .clang-format")
else
    step_failed "format (see build/format.log; scripts/check-format.sh --fix formats)"
fi

section windows64 "libsoxr for the Windows plugins, and the Windows x64 build"
scripts/build-soxr-windows.sh || step_failed "libsoxr for Windows"
windows64=""
if build build/windows64 -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake; then
    windows64=build/windows64
else
    step_failed "Windows x64 build"
fi

section windows "Windows build"
if build build/windows -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake; then
    section cross-build "The Windows build computes the same tables and writes the same files"
    if tests/cross-build/check.sh build/native build/windows $windows64 | tee build/cross-build.log; then
        passed=$((passed + 1))
        summary+=("$(tail -1 build/cross-build.log)")
    else
        step_failed "cross-build"
    fi
    if [ -n "$windows64" ]; then
        section plugins-wine "The test hosts under Wine against the Windows x64 and x86 plugins"
        tests/plugin/windows.sh build/windows64 build/windows | tee build/plugins-wine.log
        line="$(grep -E '^plugins under Wine: [0-9]+ passed, [0-9]+ failed' build/plugins-wine.log | tail -1)"
        if [ -n "$line" ]; then
            passed=$((passed + $(sed -E 's/.*: ([0-9]+) passed.*/\1/' <<<"$line")))
            failed=$((failed + $(sed -E 's/.*passed, ([0-9]+) failed.*/\1/' <<<"$line")))
            summary+=("$line")
        else
            step_failed "plugins under Wine"
        fi
    fi
    section e2e "The Windows program end to end under Wine"
    run_e2e "end to end" build/e2e.log
    section zips "The Windows release zips, and each on a fresh Windows"
    if scripts/package.sh; then
        for zip in build/velmor-"$(head -n 1 VERSION)"-win32.zip build/velmor-"$(head -n 1 VERSION)"-win64.zip \
            build/velmor-"$(head -n 1 VERSION)"-plugins-*.zip build/velmor-"$(head -n 1 VERSION)"-linux-x86_64.tar.gz; do
            if python3 tests/package_check.py "$zip"; then
                passed=$((passed + 1))
                summary+=("zip: $zip")
            else
                step_failed "zip $zip"
            fi
        done
        # The 32-bit release on a 32-bit Windows (where this machine runs
        # one) beside the 64-bit release on a 64-bit Windows: files, no
        # sound, each in its own prefix.
        runs32="$(source scripts/wine-env.sh >/dev/null 2>&1 && echo "$WINE_RUNS_32BIT")"
        [ "$runs32" = no ] || tests/e2e/run.sh --fresh-prefix tests/e2e/fresh/release-zip.e2e >build/e2e-fresh.log 2>&1 &
        VELMOR_WINE64=yes tests/e2e/run.sh --fresh-prefix tests/e2e/fresh/release-zip.e2e >build/e2e-fresh64.log 2>&1
        wait
        if [ "$runs32" != no ]; then
            cat build/e2e-fresh.log
            count_e2e "32-bit release zip on a fresh Windows" build/e2e-fresh.log
        fi
        cat build/e2e-fresh64.log
        count_e2e "64-bit release zip on a fresh 64-bit Windows" build/e2e-fresh64.log
    else
        step_failed "release zips"
    fi
else
    step_failed "Windows build"
fi

section speed "The plugin's render speed and the editor's processor time (printed, not checked)"
build/native/tools/velmor-plugin-bench --min-time 0.2 --rounds 3 | tee build/plugin-bench.log
# The editor's processor time (the CLAP test host's process, software
# OpenGL on Xvfb).
tests/plugin/editor.sh --cpu build/native/tests/plugin/velmor-clap-host build/native/bin/Velmor.clap | tee -a build/plugin-bench.log
while read -r figure; do summary+=("speed: $figure"); done <build/plugin-bench.log

section "" "Summary"
printf '%s\n' "${summary[@]}"
echo "times: $(IFS=, && echo "${times[*]}" | sed 's/,/, /g'); in all $((SECONDS / 60)) min $((SECONDS % 60)) s"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
