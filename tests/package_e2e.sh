#!/usr/bin/env bash
# The release zip on a fresh Windows: the archive that scripts/package.sh
# wrote is unpacked into C:\Velmor of a new Wine prefix, velmor.exe starts
# from there on a private X display (Xvfb) with a private PulseAudio null
# sink, and for each demo file of the zip velmor-driver.exe loads it through
# the window ("Load Pattern...") and streams it ("Stream 2 Disk..."). Each
# stream must equal velmor-render's pass of the same file, and so must the
# zip's own velmor-render.exe. Each demo gets a fresh start of the program,
# as the stream begins with whatever the delay line and the LFO hold from
# before.
#
# usage: tests/package_e2e.sh [ZIP]   (default build/velmor-VERSION-win32.zip;
#        needs the Linux velmor-render and the Windows velmor-driver.exe)
set -uo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root" || exit 1

version="$(head -n 1 VERSION)"
zip="$(realpath "${1:-build/velmor-$version-win32.zip}")"
native="$root/build/native"
driver="$root/build/windows/tools/velmor-driver.exe"
work="$root/build/package-e2e"
sink="velmor_package"
title="Velmor V1.05"

say() { echo "package-e2e: $*"; }
die() {
    say "$*"
    exit 1
}

for tool in Xvfb pulseaudio pactl wine wineserver timeout python3; do
    command -v "$tool" >/dev/null || die "$tool is missing (scripts/install-deps.sh installs it)"
done
[ -f "$zip" ] || die "${zip#"$root"/} is missing: run scripts/package.sh first"
for program in "$native/tools/velmor-render" "$driver"; do
    [ -f "$program" ] || die "${program#"$root"/} is missing: build the Linux and the Windows targets first"
done

rm -rf "$work"
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

say "a fresh Wine prefix"
e2e_session_start "$work/wine-prefix"

# The zip unpacked into C:\Velmor, as a user would.
python3 -m zipfile -e "$zip" "$WINEPREFIX/drive_c/Velmor" || die "cannot unpack ${zip#"$root"/}"
installed="$WINEPREFIX/drive_c/Velmor/velmor-$version"
wininstalled="C:\\Velmor\\velmor-$version"
[ -f "$installed/velmor.exe" ] || die "the zip holds no velmor-$version/velmor.exe"

passed=0
failed=0
ok() {
    passed=$((passed + 1))
    say "ok: $*"
}
bad() {
    failed=$((failed + 1))
    say "FAILED: $*"
}
drv() { timeout 120 wine "$driver" --title "$title" "$@" </dev/null; }

# Starts the unpacked velmor.exe in its own folder and waits for its window.
start_program() {
    (cd "$installed" && exec wine velmor.exe </dev/null >>"$work/velmor.log" 2>&1) &
    program_pid=$!
    drv wait-window "$title" 60 >/dev/null
}

# Ends it with E&xit; returns its exit status (or 1 when it does not end).
exit_program() {
    drv post 40005 >/dev/null
    for _ in $(seq 150); do
        kill -0 "$program_pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$program_pid" 2>/dev/null; then
        kill "$program_pid" 2>/dev/null
        wait "$program_pid" 2>/dev/null
        program_pid=""
        return 1
    fi
    wait "$program_pid"
    local status=$?
    program_pid=""
    return "$status"
}

reported="$(cd "$installed" && wine velmor-render.exe --version </dev/null 2>/dev/null | tr -d '\r')"
if [ "$reported" = "velmor-render $version" ]; then
    ok "the zip's velmor-render.exe --version: $reported"
else
    bad "the zip's velmor-render.exe --version says '$reported', expected 'velmor-render $version'"
fi

count=0
for demo in "$installed"/demos/*.pat; do
    name="$(basename "$demo" .pat)"
    count=$((count + 1))
    if ! start_program; then
        bad "$name: velmor.exe from the zip shows no window"
        continue
    fi
    # Load Pattern, then Stream 2 Disk into the session's file folder.
    if ! out="$(drv post 40025 file "Open" "$wininstalled\\demos\\$name.pat" 30 title \
        post 40026 file "Save As" "$winfiles\\$name.raw" 120 exists Error)"; then
        bad "$name: loading and streaming through the window failed"
        exit_program
        continue
    fi
    mapfile -t lines <<<"$out"
    [ "${lines[0]}" = "$title - $name.pat" ] || bad "$name: the title reads '${lines[0]}' after loading"
    [ "${lines[1]}" = 0 ] || bad "$name: an error message after Stream 2 Disk"
    exit_program || bad "$name: velmor.exe did not end with status 0 after E&xit"

    "$native/tools/velmor-render" "$demo" -o "$work/$name.reference.raw"
    (cd "$installed" && wine velmor-render.exe "demos\\$name.pat" -o "$winfiles\\$name.zip-render.raw" </dev/null 2>/dev/null)
    if ! cmp -s "$files/$name.raw" "$work/$name.reference.raw"; then
        bad "$name: Stream 2 Disk differs from velmor-render's pass"
    elif ! cmp -s "$files/$name.zip-render.raw" "$work/$name.reference.raw"; then
        bad "$name: the zip's velmor-render.exe differs from velmor-render"
    else
        ok "$name: loaded, streamed $(wc -c <"$files/$name.raw" | tr -d ' ') bytes, equal to velmor-render (Linux and the zip's)"
    fi
done
[ "$count" -ge 6 ] || bad "the zip holds only $count demo files"

if [ "$failed" -eq 0 ]; then
    say "PASS: $passed checks passed"
else
    say "FAIL: $failed of $((passed + failed)) checks failed"
fi
[ "$failed" -eq 0 ]
