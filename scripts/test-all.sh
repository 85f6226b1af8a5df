#!/usr/bin/env bash
# Runs every test of Velmor on a Debian 12 machine: installs what is missing,
# builds the Linux and the Windows targets, runs the unit tests natively and
# under AddressSanitizer and UndefinedBehaviorSanitizer, and checks that the
# Windows build (run under Wine) computes the same tables and frames.
set -uo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
jobs="$(nproc)"

scripts/install-deps.sh || { echo "installing the build dependencies failed"; exit 1; }

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

step_failed() {
    failed=$((failed + 1))
    summary+=("$1: FAILED")
}

echo "== Linux build and unit tests"
if build build/native -DCMAKE_BUILD_TYPE=Release; then
    run_ctest "unit tests" build/native
else
    step_failed "Linux build"
fi

echo "== Unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
if build build/sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMOR_SANITIZE=ON; then
    run_ctest "sanitizer tests" build/sanitize
else
    step_failed "sanitizer build"
fi

echo "== Interface and audio threads under ThreadSanitizer"
if cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMOR_TSAN=ON >/dev/null \
    && cmake --build build/tsan -j "$jobs" --target velmor_concurrency_tests; then
    if VELMOR_STRESS_SECONDS=8 TSAN_OPTIONS="halt_on_error=1" build/tsan/tests/velmor_concurrency_tests; then
        passed=$((passed + 1))
        summary+=("thread sanitizer stress: no report")
    else
        step_failed "thread sanitizer stress"
    fi
else
    step_failed "thread sanitizer build"
fi

echo "== Windows build"
if build build/windows -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake; then
    echo "== The Windows build computes the same tables and frames"
    source scripts/wine-env.sh
    if wine_prefix_ready \
        && build/native/tools/velmor-fingerprint >build/native/fingerprint.txt \
        && wine build/windows/tools/velmor-fingerprint.exe 2>/dev/null | tr -d '\r' >build/windows/fingerprint.txt \
        && [ -s build/windows/fingerprint.txt ] \
        && diff build/native/fingerprint.txt build/windows/fingerprint.txt; then
        passed=$((passed + 1))
        summary+=("cross-build fingerprint: identical ($(wc -l <build/native/fingerprint.txt) lines)")
    else
        step_failed "cross-build fingerprint"
    fi
    echo "== The Windows velmor-render writes the same bytes as the Linux one"
    if wine_prefix_ready && scripts/cross-render-check.sh build/native build/windows; then
        passed=$((passed + 1))
        summary+=("cross-build renders: identical")
    else
        step_failed "cross-build renders"
    fi
    echo "== The Windows sound output, recorded end to end under Wine"
    if scripts/e2e-audio.sh; then
        passed=$((passed + 1))
        summary+=("audio end to end: bit-exact at 32768 and 4608 bytes")
    else
        step_failed "audio end to end"
    fi
    echo "== The Windows program's window, driven end to end under Wine"
    if scripts/e2e-gui.sh | tee build/e2e-gui.log; then
        passed=$((passed + 1))
        summary+=("window end to end: $(sed -nE 's/^e2e-gui: PASS: ([0-9]+) checks passed.*/\1/p' build/e2e-gui.log) checks passed")
    else
        step_failed "window end to end"
    fi
    echo "== The side dialogs, driven end to end under Wine"
    if scripts/e2e-dialogs.sh | tee build/e2e-dialogs.log; then
        passed=$((passed + 1))
        summary+=("dialogs end to end: $(sed -nE 's/^e2e-dialogs: PASS: ([0-9]+) checks passed.*/\1/p' build/e2e-dialogs.log) checks passed")
    else
        step_failed "dialogs end to end"
    fi
else
    step_failed "Windows build"
fi

echo
echo "== Summary"
printf '%s\n' "${summary[@]}"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
