# Sourced by the test scripts: a private 32-bit Wine prefix inside the build
# tree, quiet and without crash dialogs.
export WINEPREFIX="${VELMOR_WINEPREFIX:-$PWD/build/wine-prefix}"
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

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

# Debian's wine command starts Wine's 32-bit loader whenever it is installed,
# for 64-bit prefixes too; a kernel without 32-bit support refuses it.
wine_says_why() {
    case "$(/usr/lib/wine/wine --version 2>&1)" in
        *"Exec format error"*) echo "Wine cannot start here: this kernel runs no 32-bit programs (its IA-32 emulation is off), and Debian's wine command starts Wine's 32-bit loader" >&2 ;;
    esac
}
