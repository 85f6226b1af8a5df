# Sourced by the test scripts: a private 32-bit Wine prefix inside the build
# tree, quiet and without crash dialogs.
#
# On a machine whose kernel runs no 32-bit programs (IA-32 emulation off)
# Debian's wine command cannot start, since it always starts Wine's 32-bit
# loader. There the wine and wineboot commands of the scripts start Wine's
# 64-bit loader instead, WINE_RUNS_32BIT is "no", and the scripts run the
# Windows x64 build in a 64-bit prefix.
export WINEPREFIX="${VELMOR_WINEPREFIX:-$PWD/build/wine-prefix}"
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

# Whether this machine runs Wine's 32-bit loader at all.
wine_runs_32bit() {
    [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1
}

# VELMOR_WINE64=yes asks for the 64-bit setup on any machine (the 64-bit
# release on a 64-bit Windows).
WINE_RUNS_32BIT=yes
if { [ "${VELMOR_WINE64:-}" = yes ] || ! wine_runs_32bit; } && [ -x /usr/lib/wine/wine64 ]; then
    WINE_RUNS_32BIT=no
    # wineboot starts wine-stable; every Wine process started from these
    # starts the 64-bit loader too (WINELOADER).
    wine64_commands="$PWD/build/wine64-commands"
    mkdir -p "$wine64_commands"
    for command in wine wine-stable; do
        printf '#!/bin/sh\nexport WINELOADER=/usr/lib/wine/wine64\nexec /usr/lib/wine/wine64 "$@"\n' >"$wine64_commands/$command"
        chmod +x "$wine64_commands/$command"
    done
    case ":$PATH:" in *":$wine64_commands:"*) ;; *) export PATH="$wine64_commands:$PATH" ;; esac
    export WINEPREFIX="${VELMOR_WINEPREFIX:-$PWD/build/wine-prefix64}" WINEARCH=win64
fi
export WINE_RUNS_32BIT

# Why the Windows checks of a 32-bit program are not run here.
wine_no_32bit_reason="this machine's kernel runs no 32-bit programs"
[ "${VELMOR_WINE64:-}" != yes ] || wine_no_32bit_reason="the 64-bit Windows asked for"

wine_prefix_ready() {
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        wineboot -i >/dev/null 2>&1 || { wine_says_why; return 1; }
        wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
        wineserver -w
    fi
    return 0
}

wine_says_why() {
    [ "$WINE_RUNS_32BIT" = yes ] || echo "Wine's 64-bit loader does not start either" >&2
}
