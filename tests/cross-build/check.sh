#!/usr/bin/env bash
# The Windows build (run under Wine) against the Linux build: the hashes of
# every table (velmor-fingerprint), and the bytes that velmor-render writes
# for the start-up state and for the named pattern files of the fuzzing
# corpus (four units with every filter mode, LFO target, waveform, FM, sync,
# pulse width and distortion; a song with swing and accents; the older
# layout; damaged files; values only a file can bring) and for the factory
# presets: frames, WAVE files, saved patterns and exit status; a song
# exported as a MIDI file, and a MIDI file with tempo changes imported,
# saved and rendered. With a third build, the 64-bit Windows build is
# compared the same way (in a 64-bit Wine prefix of its own), beside the
# 32-bit one. On a machine that runs no 32-bit programs only the 64-bit
# build is compared, and the last line says so.
#
# usage: tests/cross-build/check.sh [LINUX_BUILD WINDOWS_BUILD [WINDOWS64_BUILD]]
set -uo pipefail

root="$(cd "$(dirname "$0")/../.." && pwd)"
cd "$root"
native="${1:-build/native}"
windows="${2:-build/windows}"
windows64="${3:-}"
work="build/cross-build"
rm -rf "$work"
mkdir -p "$work/linux" "$work/windows" "$work/windows64"
side=windows  # the Windows build compared: its folder in $work

source scripts/wine-env.sh

# Each comparison's outcome is a line in RESULTS: the Windows builds are
# compared side by side (each in its prefix), over the Linux build's outputs
# made once before.
results="$work/results"
differs() { echo "DIFFERENT: $*" | tee -a "$results"; }

# Runs PROGRAM with the same arguments in the Linux build (mode linux, once)
# or the Windows build of $side (mode windows), OUT standing for the output
# folder, and compares their exit status, what they print and every file
# they write.
mode=linux
compare() {
    local name="$1" program="$2" status_linux status_windows file
    shift 2
    if [ "$mode" = linux ]; then
        "$native/$program" "${@//OUT/$work/linux}" >"$work/linux/$name.out" 2>/dev/null
        echo $? >"$work/linux/$name.status"
        return
    fi
    status_linux="$(cat "$work/linux/$name.status")"
    wine "$windows/$program.exe" "${@//OUT/$work/$side}" 2>/dev/null | tr -d '\r' >"$work/$side/$name.out"
    status_windows=${PIPESTATUS[0]}
    [ $((status_linux != 0)) -eq $((status_windows != 0)) ] ||
        { differs "$name: exit status $status_linux on Linux, $status_windows on Windows ($side)" && return; }
    for file in "$work/linux/$name".*; do
        [ "${file##*.}" != status ] || continue
        cmp "$file" "$work/$side/${file##*/}" || { differs "$name ($side)" && return; }
    done
    echo "identical: $name ($side)" >>"$results"
}

compare_all() {
    compare fingerprint tests/velmor-fingerprint
    [ -s "$work/linux/fingerprint.out" ] || differs "velmor-fingerprint printed nothing"
    compare startup tools/velmor-render -o OUT/startup.raw --save OUT/startup.saved.pat
    compare startup-wav tools/velmor-render -o OUT/startup-wav.wav --wav
    compare startup-passes tools/velmor-render -o OUT/startup-passes.raw --passes 3
    compare startup-frames tools/velmor-render -o OUT/startup-frames.raw --frames 300001
    for pattern in tests/fuzz/corpus/*.pat; do
        name="$(basename "$pattern" .pat)"
        compare "$name" tools/velmor-render "$pattern" -o "OUT/$name.raw" --save "OUT/$name.saved.pat"
    done
    local preset number=0
    for preset in resources/presets/*/*.pat; do
        number=$((number + 1))
        compare "preset-$number" tools/velmor-render "$preset" -o "OUT/preset-$number.raw"
    done
    compare midi-export tools/velmor-render tests/fuzz/corpus/groove-song.pat --export-midi OUT/midi-export.mid
    compare midi-import tools/velmor-render --import-midi tests/fuzz/midi-corpus/format1-tempo-map.mid \
        --save OUT/midi-import.pat -o OUT/midi-import.raw
}
# One Wine server kept for all the runs in a prefix: each run starts in a
# fraction of the time a server of its own takes.
compare_all_in_prefix() {
    wineserver -p
    compare_all
    wineserver -k 2>/dev/null
    wineserver -w
}
: >"$results"
compare_all
mode=windows
only64="" sides=()
if [ "$WINE_RUNS_32BIT" = yes ]; then
    wine_prefix_ready || { echo "cross-build: the Wine prefix cannot be made"; exit 1; }
    compare_all_in_prefix &
    sides+=($!)
else
    [ -n "$windows64" ] || { echo "cross-build: $wine_no_32bit_reason, and no 64-bit build was given"; exit 1; }
    only64=" (the Windows x64 build only: $wine_no_32bit_reason)"
fi
if [ -n "$windows64" ]; then
    (
        export WINEPREFIX="${VELMOR_WINEPREFIX64:-$PWD/build/wine-prefix64}" WINEARCH=win64
        wine_prefix_ready || { differs "the 64-bit Wine prefix cannot be made"; exit 1; }
        windows="$windows64"
        side=windows64
        compare_all_in_prefix
    ) &
    sides+=($!)
fi
wait "${sides[@]}"

identical="$(grep -c '^identical: ' "$results")" different="$(grep -c '^DIFFERENT: ' "$results")"
echo "cross-build: $identical identical, $different different$only64"
[ "$different" -eq 0 ] && [ "$identical" -gt 1 ]
