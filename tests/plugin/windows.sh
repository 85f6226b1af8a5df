#!/usr/bin/env bash
# The test hosts' Windows builds under Wine, each against the plugins of its
# own build: x64 and x86, CLAP and VST3. One 64-bit Wine prefix runs both.
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
check "Windows x64 CLAP" "$x64/tests/plugin/velmor-clap-host.exe" "$x64/bin/Velmor.clap"
check "Windows x64 VST3" "$x64/tests/plugin/velmor-vst3-host.exe" "$x64/bin/Velmor.vst3/Contents/x86_64-win/Velmor.vst3"
if [ "$WINE_RUNS_32BIT" = yes ]; then
    check "Windows x86 CLAP" "$x86/tests/plugin/velmor-clap-host.exe" "$x86/bin/Velmor.clap"
    check "Windows x86 VST3" "$x86/tests/plugin/velmor-vst3-host.exe" "$x86/bin/Velmor.vst3/Contents/x86-win/Velmor.vst3"
else
    not_run=" (the x86 plugins not run: $wine_no_32bit_reason)"
fi
echo "plugins under Wine: $passed passed, $failed failed$not_run"
[ "$failed" -eq 0 ]
