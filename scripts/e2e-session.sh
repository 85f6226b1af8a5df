# Sourced by the window end-to-end tests: a private X display (Xvfb), a
# private PulseAudio with a null sink as the sound output, and a Wine prefix
# of the test's own, started and stopped by their process ids.
#
# The caller sets root, work (its artifact folder), sink (the null sink's
# name) and defines say and die; e2e_session_start takes the Wine prefix to
# use. Afterwards runtime, files (a folder for the program's files), winfiles
# (the same as the program sees it), xvfb_pid, pulse_pid and wine_used are
# set; e2e_session_stop undoes everything.

xvfb_pid=""
pulse_pid=""
wineserver_pid=""
wine_used=0
files_temporary=0
runtime=""

# A fresh 0700 runtime folder for the private PulseAudio and Xvfb's display
# number, and the folder for the program's files. A socket path must fit
# into a socket address (107 bytes) and the program's file name buffer holds
# 127 characters: in a deep build tree both come from mktemp instead.
e2e_session_folders() {
    runtime="$(mktemp -d "$work/runtime.XXXXXX")" || die "cannot create a runtime folder"
    if [ "${#runtime}" -gt 80 ]; then
        rmdir "$runtime"
        runtime="$(mktemp -d)" || die "cannot create a runtime folder"
    fi
    chmod 0700 "$runtime"

    files="$work/files"
    if [ "${#files}" -gt 90 ]; then
        files="$(mktemp -d)" || die "cannot create a folder for the program's files"
        files_temporary=1
    fi
    rm -rf "$work/files"
    mkdir -p "$files"
    winfiles="Z:${files//\//\\}"
}

e2e_session_stop() {
    if [ "$wine_used" -eq 1 ]; then wineserver -k 2>/dev/null; fi
    if [ -n "$wineserver_pid" ]; then
        kill "$wineserver_pid" 2>/dev/null
        wait "$wineserver_pid" 2>/dev/null
    fi
    for pid in "$pulse_pid" "$xvfb_pid"; do
        [ -n "$pid" ] || continue
        kill "$pid" 2>/dev/null
        for _ in $(seq 50); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$pid" 2>/dev/null
    done
    [ -n "$runtime" ] && rm -rf "$runtime"
    if [ "$files_temporary" -eq 1 ]; then rm -rf "$files"; fi
}

# e2e_session_start WINEPREFIX
e2e_session_start() {
    local logs="${work#"$root"/}"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$runtime/display" >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
        [ -s "$runtime/display" ] && break
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.1
    done
    [ -s "$runtime/display" ] || die "Xvfb does not start (see $logs/xvfb.log)"
    DISPLAY=":$(tr -d '\n' <"$runtime/display")"
    export DISPLAY
    unset WAYLAND_DISPLAY

    # Every PulseAudio client here talks to the private server only and never
    # starts a server of its own.
    export XDG_RUNTIME_DIR="$runtime"
    export PULSE_SERVER="unix:$runtime/pulse/native"
    printf 'autospawn = no\n' >"$runtime/client.conf"
    export PULSE_CLIENTCONFIG="$runtime/client.conf"

    pulseaudio --daemonize=yes --exit-idle-time=-1 --system=false -n --load="module-native-protocol-unix" \
        2>"$work/pulseaudio.log" || die "PulseAudio does not start (see $logs/pulseaudio.log)"
    for _ in $(seq 50); do
        pulse_pid="$(cat "$runtime/pulse/pid" 2>/dev/null)"
        [ -n "$pulse_pid" ] && break
        sleep 0.1
    done
    [ -n "$pulse_pid" ] || die "PulseAudio left no process id"
    local ready=0
    for _ in $(seq 100); do
        if pactl info >/dev/null 2>&1; then
            ready=1
            break
        fi
        sleep 0.1
    done
    [ "$ready" -eq 1 ] || die "PulseAudio does not answer"
    pactl load-module module-null-sink sink_name="$sink" format=s16le rate=44100 channels=2 norewinds=1 >/dev/null \
        && pactl set-default-sink "$sink" || die "cannot set up the null sink"

    # A Wine prefix of the test's own, so that stopping its wineserver
    # touches nothing else: Wine's fonts linked in (Debian leaves the Fonts
    # folder empty, and dialogs then come out the wrong size), no window
    # manager (Managed=N), no crash dialog.
    export VELMOR_WINEPREFIX="$1"
    source "$root/scripts/wine-env.sh"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then say "preparing the Wine prefix"; fi
    wine_used=1
    wine_prefix_ready || die "cannot prepare the Wine prefix $WINEPREFIX"
    if ! grep -q '"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
        wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
        wineserver -w
    fi
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    ln -sf /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
}
