#!/usr/bin/env bash
# Takes the screenshots of the user's manual anew: velmor.exe runs under Wine
# on a private X display (Xvfb) with a private PulseAudio null sink, in a Wine
# prefix of its own, as in the end-to-end tests; velmor-driver.exe opens a
# demo file and the step editor, and each window is captured on its own:
#
#   docs/main-window.png   the main window with demos/01-acid-lo24.pat loaded
#   docs/step-editor.png   the step editor showing that pattern
#
# Not part of the test command: run it after a change to the windows and
# look at the pictures before committing them.
#
# usage: scripts/screenshots.sh   (needs the Windows build in build/windows)
set -uo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root" || exit 1

windows="$root/build/windows"
work="$root/build/screenshots"
sink="velmor_screenshots"
title="Velmor V1.05"
demo="01-acid-lo24.pat"

say() { echo "screenshots: $*"; }
die() {
    say "$*"
    exit 1
}

for tool in Xvfb import xwininfo pulseaudio pactl wine wineserver timeout; do
    command -v "$tool" >/dev/null || die "$tool is missing (scripts/install-deps.sh installs it)"
done
for program in "$windows/app/velmor.exe" "$windows/tools/velmor-driver.exe"; do
    [ -f "$program" ] || die "${program#"$root"/} is missing: build the Windows target first"
done

mkdir -p "$work"
source "$root/scripts/e2e-session.sh"
e2e_session_folders

program_pid=""
cleanup() {
    if [ -n "$program_pid" ]; then
        kill "$program_pid" 2>/dev/null
        wait "$program_pid" 2>/dev/null
    fi
    e2e_session_stop
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

e2e_session_start "$work/wine-prefix"

drv() { timeout 120 wine "$windows/tools/velmor-driver.exe" --title "$title" "$@" </dev/null; }

# Captures the X window whose title begins with $1 (Wine gives each
# top-level window the title it had when it was created) into docs/$2 once
# it stands still.
capture() {
    local name="$1" out="$root/docs/$2" line w h x y previous="$work/a.png" current="$work/b.png"
    line="$(xwininfo -root -tree | grep -F "\"$name" | grep -F '"velmor.exe"' | head -n 1)"
    if [[ ! "$line" =~ \ ([0-9]+)x([0-9]+)\+-?[0-9]+\+-?[0-9]+\ +\+(-?[0-9]+)\+(-?[0-9]+) ]]; then
        xwininfo -root -tree >"$work/windows.txt" 2>&1
        die "no window titled \"$name\" (the windows: ${work#"$root"/}/windows.txt)"
    fi
    w="${BASH_REMATCH[1]}" h="${BASH_REMATCH[2]}" x="${BASH_REMATCH[3]}" y="${BASH_REMATCH[4]}"
    import -window root -crop "${w}x${h}+${x}+${y}" +repage "$previous"
    for _ in $(seq 30); do
        sleep 0.2
        import -window root -crop "${w}x${h}+${x}+${y}" +repage "$current"
        [ "$(compare -metric AE "$previous" "$current" null: 2>&1 >/dev/null)" = "0" ] && break
        mv "$current" "$previous"
    done
    # No time stamps or other varying chunks: the same picture gives the
    # same file.
    convert "$current" -strip -define png:exclude-chunks=date,time "PNG24:$out"
    rm -f "$previous" "$current"
    say "wrote docs/$2 (${w}x${h})"
}

cp "demos/$demo" "$files/"
wine "$windows/app/velmor.exe" </dev/null >"$work/velmor.log" 2>&1 &
program_pid=$!
drv wait-window "$title" 60 post 40025 file "Open" "$winfiles\\$demo" 30 >/dev/null || die "cannot load $demo"
capture "$title" main-window.png
drv post 40029 dialog "Step editor" 10 >/dev/null || die "the step editor does not open"
capture "Step editor" step-editor.png
drv dialog "Step editor" 5 command 1 main wait-gone "Step editor" 10 post 40005 >/dev/null
wait "$program_pid"
program_pid=""
