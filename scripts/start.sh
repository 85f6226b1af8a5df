#!/usr/bin/env bash
# Starts the synthesizer, velmor.exe. On Windows (an MSYS2 or Cygwin shell)
# the built program is started directly. On Linux this installs what is
# missing, builds the Windows target and runs it under Wine in the desktop
# session, starting the user's sound server (PulseAudio) first when none
# answers. With --native, Linux's own program, velmor-standalone, starts
# instead (on JACK where a JACK server runs, else on PulseAudio directly).
#
# Without a desktop session (DISPLAY not set) the window cannot show: the
# start-up state, or the pattern file given as the argument, is rendered to
# a WAVE file under build/ instead, to be played with any player.
#
#   scripts/start.sh [--native] [PATTERN.pat]
set -euo pipefail

native=no
if [ "${1:-}" = --native ]; then
    native=yes
    shift
fi
pattern=""
if [ $# -gt 0 ]; then
    [ -f "$1" ] || { echo "$1: no such pattern file" >&2; exit 1; }
    pattern="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
fi
cd "$(dirname "$0")/.."

case "$(uname -s)" in
    MINGW* | MSYS* | CYGWIN*)
        exe=build/windows/app/velmor.exe
        [ -f "$exe" ] || { echo "$exe is not built yet (see \"Building by hand\" in README.md)." >&2; exit 1; }
        exec "$exe"
        ;;
esac

scripts/install-deps.sh

if [ -z "${DISPLAY:-}" ]; then
    cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build build/native --target velmor-render >/dev/null
    passes="four passes of the pattern"
    if [ -n "$pattern" ]; then
        name="$(basename "$pattern" .pat)"
        wav="build/$name.wav"
        what="the pattern file $pattern"
        # A file in song mode plays its song: the version text "V1.0A", then
        # the song mode switch at byte 28 of the header.
        if [ "$(head -c 5 "$pattern")" = "V1.0A" ] && [ "$(od -An -tu2 -j28 -N2 "$pattern" | tr -d ' ')" != 0 ]; then
            passes="four passes of the song"
        fi
    else
        wav="build/velmor-startup.wav"
        what="the start-up state"
    fi
    # Four passes: they loop seamlessly.
    build/native/tools/velmor-render ${pattern:+"$pattern"} --passes 4 --wav -o "$wav"
    seconds="$(awk -v bytes="$(($(stat -c %s "$wav") - 44))" 'BEGIN { printf "%.1f", bytes / 176400 }')"
    cat <<EOF
No desktop session (DISPLAY is not set), so Velmor's window cannot show.
Instead, $what was rendered, $passes, to

    $PWD/$wav

($seconds seconds, 16-bit stereo at 44100 Hz). To listen to it:

    aplay $wav        (ALSA)
    paplay $wav       (PulseAudio)

or open it with any audio player. To get the window, run scripts/start.sh in
a desktop session (with DISPLAY set); there it starts Velmor under Wine. Other
renders: build/native/tools/velmor-render --help.
EOF
    exit 0
fi

# Velmor sounds through the sound server; without one it finds no device.
sound_server_answers() {
    for _ in $(seq 50); do
        pactl info >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}
start_sound_server() {
    pactl info >/dev/null 2>&1 && return 0
    echo "No sound server answers: starting PulseAudio (pulseaudio --start)."
    pulseaudio --start >/dev/null 2>&1 && sound_server_answers
}

if [ "$native" = yes ]; then
    cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build build/native --target velmor-standalone >/dev/null
    if [ -n "$pattern" ]; then
        echo "velmor-standalone reads no command line: load $pattern with its \"Load...\" button."
    fi
    # JACK where a server runs; otherwise the program plays through
    # PulseAudio itself.
    if ! { command -v jack_lsp >/dev/null && JACK_NO_START_SERVER=1 jack_lsp >/dev/null 2>&1; }; then
        start_sound_server || echo "PulseAudio could not be started: Velmor will find no sound device." >&2
    fi
    exec build/native/bin/velmor-standalone
fi

# Velmor is a 32-bit program. A kernel without IA-32 emulation runs no
# 32-bit program (Debian's wine command then cannot start at all): there the
# Windows x64 build runs under Wine's 64-bit loader, the same synthesizer.
build=build/windows toolchain=cmake/mingw-i686.cmake arch=win32 prefix=build/wine-desktop
wine=(wine)
if ! /usr/lib/wine/wine --version >/dev/null 2>&1 && [ -x /usr/lib/wine/wine64 ]; then
    echo "This machine runs no 32-bit programs: starting the Windows x64 build of Velmor."
    build=build/windows64 toolchain=cmake/mingw-x86_64.cmake arch=win64 prefix=build/wine-desktop64
    wine=(env WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64)
fi
exe=$build/app/velmor.exe

# The toolchain file counts only when the build folder is first configured
# (CMake warns about it on every later run); the build itself configures
# again when the project's files change.
if [ ! -f $build/CMakeCache.txt ]; then
    cmake -S . -B $build -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=$toolchain >/dev/null
fi
cmake --build $build --target velmor >/dev/null
if [ -n "$pattern" ]; then
    echo "Velmor reads no command line: load $pattern with \"File > Load Pattern...\"."
fi

# Without a sound server velmor.exe cannot open a sound device and ends at
# once.
if ! start_sound_server; then
    echo "PulseAudio could not be started, so Velmor finds no sound device: it will show" >&2
    echo "\"DirectSound Initialization failed!\" and end. Start a sound server and run this again." >&2
fi

# A Wine prefix of the project's own (unless WINEPREFIX names one), with
# Wine's fonts linked in: Debian leaves the Fonts folder empty, and the
# dialogs then come out the wrong size.
export WINEPREFIX="${WINEPREFIX:-$PWD/$prefix}" WINEDEBUG="${WINEDEBUG:--all}"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Preparing the Wine prefix $WINEPREFIX (once)..."
    WINEARCH=$arch "${wine[@]}" wineboot -i >/dev/null 2>&1
fi
fonts="$WINEPREFIX/drive_c/windows/Fonts"
if [ -d /usr/share/wine/fonts ] && [ -d "$fonts" ]; then ln -sf /usr/share/wine/fonts/* "$fonts/"; fi
exec "${wine[@]}" "$exe"
