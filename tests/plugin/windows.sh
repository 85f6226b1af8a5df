#!/usr/bin/env bash
# The test hosts' Windows builds under Wine, each against the plugins of its
# own build: x64 and x86, CLAP and VST3, and their editors (pictures under
# build/editor-wine). One 64-bit Wine prefix runs both.
# A host passes when it exits 0 and says so (Wine can fail silently). On a
# machine that runs no 32-bit programs the x86 checks are not run, and the
# last line says so.
#
# usage: tests/plugin/windows.sh [X64_BUILD X86_BUILD]
set -uo pipefail

root="$(cd "$(dirname "$0")/../.." && pwd)"
cd "$root"
x64="${1:-build/windows64}"
x86="${2:-build/windows}"

source scripts/wine-env.sh
export WINEPREFIX="${VELMOR_WINEPREFIX64:-$PWD/build/wine-prefix64}" WINEARCH=win64
wine_prefix_ready || { echo "plugins under Wine: the 64-bit Wine prefix cannot be made"; exit 1; }

passed=0
failed=0
not_run=""
check() {
    local name="$1" host="$2" plugin="$3" out status
    out="$(wine "$host" "$plugin" tests/fuzz/corpus/four-units.pat 2>/dev/null | tr -d '\r')"
    status=${PIPESTATUS[0]}
    if [ "$status" -eq 0 ] && grep -q "every check passed" <<<"$out"; then
        passed=$((passed + 1))
        echo "passed: $name"
    else
        failed=$((failed + 1))
        echo "FAILED: $name (exit status $status)"
        [ -z "$out" ] || sed 's/^/  /' <<<"$out"
    fi
}
# The editors: on a display of their own (Xvfb, large enough for scale 2).
# A host asks for a picture on its output ("picture wanted N WIDTH HEIGHT")
# and waits for picture-N.ppm, taken of the X window Wine draws the
# editor's OpenGL in (off the screen: neither Wine's GDI nor a picture of
# the screen shows it).
pictures="$root/build/editor-wine"
rm -rf "$pictures" && mkdir -p "$pictures"
picture_tool="${VELMOR_NATIVE_BUILD:-build/native}/tests/plugin/velmor-wine-picture"
xvfb_pid=""
trap '[ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null' EXIT
if command -v Xvfb >/dev/null && [ -x "$picture_tool" ]; then
    displayfile="$(mktemp)"
    Xvfb -displayfd 3 -screen 0 2200x1400x24 -nolisten tcp 3>"$displayfile" >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do [ -s "$displayfile" ] && break; sleep 0.1; done
    export DISPLAY=":$(head -n 1 "$displayfile")" LIBGL_ALWAYS_SOFTWARE=1 VELMOR_PICTURE_DIR="Z:${pictures//\//\\}"
    rm -f "$displayfile"
fi
# A host's output, the pictures it asks for taken on the way.
answer_pictures() {
    local line
    while IFS= read -r line; do
        line="${line%$'\r'}"
        if [[ "$line" =~ ^picture\ wanted\ ([0-9]+)\ ([0-9]+)\ ([0-9]+)$ ]]; then
            local n="${BASH_REMATCH[1]}"
            for _ in $(seq 50); do
                "$picture_tool" "${BASH_REMATCH[2]}" "${BASH_REMATCH[3]}" "$pictures/picture-$n.part" 2>/dev/null && break
                sleep 0.1
            done
            mv "$pictures/picture-$n.part" "$pictures/picture-$n.ppm" 2>/dev/null
        else
            printf '%s\n' "$line"
        fi
    done
}
# The system's scale (pixels per inch over 96) for the checks that follow.
system_dpi() { wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1; wineserver -w; }
editor() {
    local name="$1" host="$2" plugin="$3" out status
    shift 3
    rm -f "$pictures"/picture-*
    out="$(wine "$host" "$@" "$plugin" 2>/dev/null | answer_pictures)"
    status=${PIPESTATUS[0]}
    if [ "$status" -eq 0 ] && grep -q "every check passed" <<<"$out"; then
        passed=$((passed + 1))
        echo "passed: $name"
        grep '^editor opened' <<<"$out" | sed 's/^/  /'
    else
        failed=$((failed + 1))
        echo "FAILED: $name (exit status $status)"
        [ -z "$out" ] || sed 's/^/  /' <<<"$out"
    fi
}
# ARCH BUILD VST3-FOLDER [all]: a build's plugins, and their editors at
# scales 1 and 2; with "all", also at the system's scale of 2, and opened
# and closed again and again (the same code in both builds: x64 only).
checks() {
    local arch="$1" build="$2" folder="$3" all="${4:-}"
    local clap=("$build/tests/plugin/velmor-clap-host.exe" "$build/bin/Velmor.clap")
    local vst3=("$build/tests/plugin/velmor-vst3-host.exe" "$build/bin/Velmor.vst3/Contents/$folder/Velmor.vst3")
    check "Windows $arch CLAP" "${clap[@]}"
    check "Windows $arch VST3" "${vst3[@]}"
    [ -n "$xvfb_pid" ] || return 0
    editor "Windows $arch CLAP editor at scale 1" "${clap[0]}" "${clap[1]}" --editor 1 "$pictures/$arch-clap-1x"
    editor "Windows $arch CLAP editor at scale 2" "${clap[0]}" "${clap[1]}" --editor 2 "$pictures/$arch-clap-2x"
    editor "Windows $arch VST3 editor" "${vst3[0]}" "${vst3[1]}" --editor 1 "$pictures/$arch-vst3-1x"
    [ "$all" = all ] || return 0
    editor "Windows $arch CLAP editor reopened" "${clap[0]}" "${clap[1]}" --reopen 20
    system_dpi 192
    editor "Windows $arch CLAP editor at the system's scale" "${clap[0]}" "${clap[1]}" --editor -2 "$pictures/$arch-clap-system"
    system_dpi 96
}
checks x64 "$x64" x86_64-win all
if [ "$WINE_RUNS_32BIT" = yes ]; then
    checks x86 "$x86" x86-win
else
    not_run=" (the x86 plugins not run: $wine_no_32bit_reason)"
fi
echo "plugins under Wine: $passed passed, $failed failed$not_run"
[ "$failed" -eq 0 ]
