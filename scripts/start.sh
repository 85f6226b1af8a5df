#!/usr/bin/env bash
# Starts the synthesizer, velmor.exe. On Windows (an MSYS2 or Cygwin shell)
# the built program is started directly. On Linux this installs what is
# missing, builds the Windows target and runs it under Wine, which needs a
# desktop session (DISPLAY) and a sound server.
set -euo pipefail
cd "$(dirname "$0")/.."
exe=build/windows/app/velmor.exe

case "$(uname -s)" in
    MINGW* | MSYS* | CYGWIN*)
        [ -f "$exe" ] || { echo "$exe is not built yet (see \"Building by hand\" in README.md)." >&2; exit 1; }
        exec "$exe"
        ;;
esac

scripts/install-deps.sh
if [ -z "${DISPLAY:-}" ]; then
    cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build build/native --target velmor-render >/dev/null
    echo "Velmor is a desktop program: under Wine it needs a desktop session (DISPLAY is not set)" >&2
    echo "and a sound server. Without one, build/native/tools/velmor-render renders the start-up" >&2
    echo "state or a pattern file to a raw or WAVE file (see build/native/tools/velmor-render --help)." >&2
    exit 1
fi
cmake -S . -B build/windows -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
cmake --build build/windows --target velmor >/dev/null
pactl info >/dev/null 2>&1 || echo "No sound server answers: Velmor will start, but cannot play." >&2

# A Wine prefix of the project's own (unless WINEPREFIX names one), with
# Wine's fonts linked in: Debian leaves the Fonts folder empty, and the
# dialogs then come out the wrong size.
export WINEPREFIX="${WINEPREFIX:-$PWD/build/wine-desktop}" WINEDEBUG="${WINEDEBUG:--all}"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Preparing the Wine prefix $WINEPREFIX (once)..."
    WINEARCH=win32 wineboot -i >/dev/null 2>&1
fi
fonts="$WINEPREFIX/drive_c/windows/Fonts"
if [ -d /usr/share/wine/fonts ] && [ -d "$fonts" ]; then ln -sf /usr/share/wine/fonts/* "$fonts/"; fi
exec wine "$exe"
