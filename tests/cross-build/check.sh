#!/usr/bin/env bash
# The Windows build (run under Wine) against the Linux build: the hashes of
# every table (velmor-fingerprint), and the bytes that velmor-render writes
# for the start-up state and for the named pattern files of the fuzzing
# corpus (four units with every filter mode, LFO target, waveform, FM, sync,
# pulse width and distortion; the older layout; damaged files; values only a
# file can bring): frames, WAVE files, saved patterns and exit status.
#
# usage: tests/cross-build/check.sh [LINUX_BUILD WINDOWS_BUILD]
set -uo pipefail

root="$(cd "$(dirname "$0")/../.." && pwd)"
cd "$root"
native="${1:-build/native}"
windows="${2:-build/windows}"
work="build/cross-build"
rm -rf "$work"
mkdir -p "$work/linux" "$work/windows"

source scripts/wine-env.sh
wine_prefix_ready || { echo "cross-build: the Wine prefix cannot be made"; exit 1; }

identical=0
different=0
differs() {
    different=$((different + 1))
    echo "DIFFERENT: $*"
}

"$native/tests/velmor-fingerprint" >"$work/linux/fingerprint.txt"
wine "$windows/tests/velmor-fingerprint.exe" 2>/dev/null | tr -d '\r' >"$work/windows/fingerprint.txt"
if [ -s "$work/linux/fingerprint.txt" ] && diff "$work/linux/fingerprint.txt" "$work/windows/fingerprint.txt"; then
    identical=$((identical + 1))
else
    differs "velmor-fingerprint"
fi

# Runs both velmor-render programs with the same arguments, OUT standing for
# the output folder, and compares their exit status and every file written.
compare() {
    local name="$1" status_linux status_windows file
    shift
    "$native/tools/velmor-render" "${@//OUT/$work/linux}" >/dev/null 2>&1
    status_linux=$?
    wine "$windows/tools/velmor-render.exe" "${@//OUT/$work/windows}" >/dev/null 2>&1
    status_windows=$?
    if [ $((status_linux != 0)) -ne $((status_windows != 0)) ]; then
        differs "$name: exit status $status_linux on Linux, $status_windows on Windows"
        return
    fi
    for file in "$work/linux/$name".*; do
        [ -e "$file" ] || continue
        if ! cmp "$file" "$work/windows/${file##*/}"; then
            differs "$name"
            return
        fi
    done
    identical=$((identical + 1))
}

compare startup -o OUT/startup.raw --save OUT/startup.saved.pat
compare startup-wav -o OUT/startup-wav.wav --wav
compare startup-passes -o OUT/startup-passes.raw --passes 3
compare startup-frames -o OUT/startup-frames.raw --frames 300001
for pattern in tests/fuzz/corpus/*.pat; do
    name="$(basename "$pattern" .pat)"
    compare "$name" "$pattern" -o "OUT/$name.raw" --save "OUT/$name.saved.pat"
done

echo "cross-build: $identical identical, $different different"
[ "$different" -eq 0 ] && [ "$identical" -gt 1 ]
