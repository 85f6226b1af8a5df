#!/usr/bin/env bash
# Renders the start-up state and a set of pattern files (saved states, the
# older layout, damaged files, values only a file can bring) with the Linux
# velmor-render and with the Windows one under Wine, and compares what they
# write byte for byte: the frames, the WAVE files and the saved pattern files.
#
# usage: scripts/cross-render-check.sh [LINUX_BUILD WINDOWS_BUILD]
#        (build folders relative to the repository; build/native and
#        build/windows by default)
set -uo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
native="${1:-build/native}"
windows="${2:-build/windows}"
linux_render="$native/tools/velmor-render"
windows_render="$windows/tools/velmor-render.exe"
samples="$native/tests/velmor-sample-patterns"

for program in "$linux_render" "$windows_render" "$samples"; do
    if [ ! -f "$program" ]; then
        echo "cross-render-check: $program is missing (build both targets first)"
        exit 1
    fi
done

source scripts/wine-env.sh
wine_prefix_ready || { echo "cross-render-check: the Wine prefix cannot be made"; exit 1; }

# Relative paths inside the repository work for both programs (Wine sees
# the current folder as a Windows folder and takes forward slashes).
work="build/cross-render"
rm -rf "$work"
mkdir -p "$work/patterns" "$work/linux" "$work/windows"
"$samples" "$work/patterns" || { echo "cross-render-check: cannot make the sample patterns"; exit 1; }

identical=0
different=0
checked=()

# Runs both programs with the same arguments, OUT standing for the output
# folder, and compares their exit status and every file they wrote.
compare() {
    local name="$1"
    shift
    local args_linux=() args_windows=() a
    for a in "$@"; do
        args_linux+=("${a//OUT/$work/linux}")
        args_windows+=("${a//OUT/$work/windows}")
    done
    "$linux_render" "${args_linux[@]}" >/dev/null 2>"$work/linux/$name.err"
    local status_linux=$?
    wine "$windows_render" "${args_windows[@]}" >/dev/null 2>"$work/windows/$name.err"
    local status_windows=$?
    local outcome="identical"
    if [ $((status_linux != 0)) -ne $((status_windows != 0)) ]; then
        outcome="exit status $status_linux on Linux, $status_windows on Windows"
    else
        local file
        for file in "$work/linux/$name".*; do
            case "$file" in *.err) continue ;; esac
            local twin="$work/windows/${file##*/}"
            if ! cmp -s "$file" "$twin"; then
                outcome="${file##*/} differs: $(cmp "$file" "$twin" 2>&1 | head -1)"
                break
            fi
        done
    fi
    if [ "$outcome" = "identical" ]; then
        identical=$((identical + 1))
    else
        different=$((different + 1))
        echo "DIFFERENT: $name: $outcome"
    fi
}

compare startup -o OUT/startup.raw --save OUT/startup.saved.pat
compare startup-wav -o OUT/startup-wav.wav --wav
compare startup-passes -o OUT/startup-passes.raw --passes 3
compare startup-frames -o OUT/startup-frames.raw --frames 300001
for pattern in "$work"/patterns/*.pat; do
    name="$(basename "$pattern" .pat)"
    compare "$name" "$pattern" -o "OUT/$name.raw" --save "OUT/$name.saved.pat"
done
compare four-units-passes "$work/patterns/four-units.pat" -o OUT/four-units-passes.raw --passes 2

echo "cross-render-check: $identical identical, $different different"
[ "$different" -eq 0 ] && [ "$identical" -gt 0 ]
