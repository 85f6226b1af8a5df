#!/usr/bin/env bash
# The end-to-end runner: velmor.exe under Wine on a private X display (Xvfb),
# with a private PulseAudio null sink as its sound output whose monitor is
# recorded, worked by velmor-driver.exe through the scenarios of
# tests/e2e/scenarios/ (or the ones given). The display, the sound server
# and the Wine prefix are set up once for all scenarios. The scenario format
# is described in tests/e2e/README.md; screenshots, recordings, the
# program's files and logs stay in build/e2e/.
#
# usage: tests/e2e/run.sh [--fresh-prefix] [SCENARIO.e2e]...
# With --fresh-prefix the run gets a new Wine prefix of its own, a Windows
# on which nothing has run yet, and keeps its files in build/e2e-fresh/
# (build/e2e-fresh64/ with VELMOR_WINE64=yes).
# Needs the Linux and the Windows build. Every daemon it starts is stopped
# again by its process id.
set -uo pipefail

root="$(cd "$(dirname "$0")/../.." && pwd)"
cd "$root" || exit 1
work="$root/build/e2e"
if [ "${1-}" = "--fresh-prefix" ]; then
    shift
    # The 64-bit Windows's run beside the 32-bit one's: folders of its own.
    work="$root/build/e2e-fresh${VELMOR_WINE64:+64}"
    export VELMOR_WINEPREFIX="$work/wine-prefix"
fi
# The Wine prefix and commands (scripts/wine-env.sh). On a machine that runs
# no 32-bit programs the scenarios run the Windows x64 build of the program
# and the driver, the same code and the same sound.
source scripts/wine-env.sh
windows="$root/build/windows"
if [ "$WINE_RUNS_32BIT" = no ]; then
    windows="$root/build/windows64"
    echo "e2e: $wine_no_32bit_reason: the scenarios run the Windows x64 build"
fi
program="$windows/app/velmor.exe"
driver="$windows/tests/velmor-driver.exe"
compare="$root/build/native/tests/velmor-e2e-compare"
render="$root/build/native/tools/velmor-render"
title="Velmor V$(head -n 1 VERSION)"  # the main window's, as the program builds it
sink="velmor_e2e"
attempts=4  # a scenario whose sound came too late to tell is run again

say() { echo "e2e: $*"; }
die() { say "$*" && exit 1; }

for file in "$compare" "$render" "$program" "$driver" /usr/share/wine/fonts Xvfb import pulseaudio pactl parec wine; do
    [ -e "$file" ] || command -v "$file" >/dev/null || die "$file is missing: build the Linux and the Windows targets (scripts/install-deps.sh installs the rest)"
done
scenarios=("$@")
[ $# -gt 0 ] || scenarios=("$root"/tests/e2e/scenarios/*.e2e)

# The release a fresh-prefix scenario unpacks: the 64-bit zip where the
# 64-bit Windows runs.
release=win32
[ "$WINE_RUNS_32BIT" = yes ] || release=win64

# ---- The session, set up once ------------------------------------------------

rm -rf "$work"
mkdir -p "$work"
# A socket path must fit into a socket address (107 bytes), and the program's
# file names into its 128-byte buffer: in a deep build tree the runtime
# folder (which holds the program's files) comes from mktemp instead.
runtime="$(mktemp -d "$work/run.XXXXXX")" || die "cannot create a runtime folder"
[ "${#runtime}" -le 80 ] || { rmdir "$runtime" && runtime="$(mktemp -d)"; } || die "cannot create a runtime folder"
chmod 0700 "$runtime"
files="$runtime/files"
mkdir -p "$files"
winfiles="Z:${files//\//\\}"

xvfb_pid="" pulse_pid="" wineserver_pid="" program_pid="" parec_pid=""
end_program() { [ -z "$program_pid" ] || { kill "$program_pid" && wait "$program_pid"; } 2>/dev/null; program_pid=""; }
cleanup() {
    end_program
    [ -z "$parec_pid" ] || stop_recorder
    wineserver -k 2>/dev/null
    local pid
    for pid in $wineserver_pid $pulse_pid $xvfb_pid; do
        kill "$pid" 2>/dev/null
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null && sleep 0.1; done
        kill -KILL "$pid" 2>/dev/null
    done
    # A folder a scenario locked (so that it cannot take a new file) is
    # unlocked, so that it can be moved and removed.
    chattr -R -i "$files" 2>/dev/null
    chmod -R u+w "$files" 2>/dev/null
    rm -rf "$work/files"
    mv "$files" "$work/files" 2>/dev/null
    rm -rf "$runtime"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$runtime/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$runtime/display" ] || sleep 0.1; done
[ -s "$runtime/display" ] || die "Xvfb does not start (see ${work#"$root"/}/xvfb.log)"
export DISPLAY=":$(tr -d '\n' <"$runtime/display")"
unset WAYLAND_DISPLAY

# Every PulseAudio client talks to the private server only and never starts
# one of its own.
export XDG_RUNTIME_DIR="$runtime" PULSE_SERVER="unix:$runtime/pulse/native" PULSE_CLIENTCONFIG="$runtime/client.conf"
printf 'autospawn = no\n' >"$PULSE_CLIENTCONFIG"
pulseaudio --daemonize=yes --exit-idle-time=-1 --system=false -n --load="module-native-protocol-unix" \
    2>"$work/pulseaudio.log" || die "PulseAudio does not start (see ${work#"$root"/}/pulseaudio.log)"
for _ in $(seq 100); do
    pulse_pid="$(cat "$runtime/pulse/pid" 2>/dev/null)"
    [ -n "$pulse_pid" ] && pactl info >/dev/null 2>&1 && break
    sleep 0.1
done
pactl load-module module-null-sink sink_name="$sink" format=s16le rate=44100 channels=2 norewinds=1 >/dev/null \
    && pactl set-default-sink "$sink" || die "PulseAudio does not answer (see ${work#"$root"/}/pulseaudio.log)"

# The project's Wine prefix with Wine's fonts linked in (Debian leaves the
# Fonts folder empty, and dialogs then come out the wrong size).
wine_prefix_ready || die "cannot prepare the Wine prefix $WINEPREFIX"
mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
ln -sf /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"

# The program, the recorder and the wineserver (through which every wait and
# timer of a Wine program goes) run at a raised priority where that is
# allowed, as a sound program's audio threads do on Windows: on a busy
# machine Wine's feed to PulseAudio otherwise underruns.
priority=()
if [ -z "$(nice -n -10 true 2>&1)" ]; then priority=(nice -n -10); fi
wineserver -k 2>/dev/null
wineserver -w
"${priority[@]}" wineserver -f -p >"$work/wineserver.log" 2>&1 &
wineserver_pid=$!

# ---- Checks ------------------------------------------------------------------

passed=0
failed=0
declare -A vars
ok() { passed=$((passed + 1)) && say "  ok: $*"; }
bad() { failed=$((failed + 1)) && say "  FAILED: $*"; }

# judge WHAT ACTUAL OPERATOR [ARGUMENTS]: an expectation on a value read.
judge() {
    local what="$1" actual="$2" op="$3" want="${4:-}" v inside=1
    [[ $want == @* ]] && want="${vars[${want#@}]-}"
    case "$op" in
        keep) vars[$4]="$actual" ;;
        show) say "  $what: $actual" ;;
        =) if [ "$actual" = "$want" ]; then ok "$what = ${want:0:60}"; else bad "$what: '$actual', expected '$want'"; fi ;;
        !=) if [ "$actual" != "$want" ]; then ok "$what != ${want:0:60}"; else bad "$what: '$actual' unchanged"; fi ;;
        has) if [[ $actual == *"$want"* ]]; then ok "$what has ${want:0:60}"; else bad "$what: '$actual', expected to hold '$want'"; fi ;;
        in)  # every number read lies within $4..$5
            local numbers=0
            for v in $actual; do
                [[ $v =~ ^-?[0-9]+$ ]] && numbers=$((numbers + 1)) && { [ "$v" -ge "$4" ] && [ "$v" -le "$5" ] || inside=0; }
            done
            if [ "$numbers" -gt 0 ] && [ "$inside" -eq 1 ]; then ok "$what in $4..$5: $actual"; else bad "$what: '$actual', expected within $4..$5"; fi ;;
    esac
}

# ---- The driver: its actions are queued and run in one go ----------------------

queued=()
expects=()
dialog=""  # the dialog the control actions address, across driver runs
queue() {
    local i op=$(($# + 1))
    case "$1" in
        dialog) dialog="$2" ;;
        main) dialog="" ;;
        *) [ "${#queued[@]}" -gt 0 ] || [ -z "$dialog" ] || { queued+=("dialog"$'\t'"$dialog") && expects+=(""); } ;;
    esac
    for ((i = 1; i <= $#; ++i)); do
        case "${!i}" in =|!=|has|in|keep|show) op=$i && break ;; esac
    done
    queued+=("$(IFS=$'\t' && echo "${*:1:op-1}")")
    expects+=("$(IFS=$'\t' && echo "${*:op}")")
}

# Runs the queued actions; returns 1 when the driver stopped at one.
flush() {
    local i count=${#queued[@]} result=0 out expect
    [ "$count" -gt 0 ] || return 0
    printf '%s\n' "${queued[@]}" | timeout 300 wine "$driver" --title "$title" --files "$winfiles" \
        >"$work/driver.out" 2>"$work/driver.err"
    mapfile -t out <"$work/driver.out"
    for ((i = 0; i < count; ++i)); do
        if [ "$i" -ge "${#out[@]}" ]; then
            bad "${queued[i]//$'\t'/ }: $(tr -d '\r' <"$work/driver.err" | tail -1)"
            result=1
            break
        fi
        IFS=$'\t' read -r -a expect <<<"${expects[i]}"
        [ "${#expect[@]}" -eq 0 ] || judge "${queued[i]//$'\t'/ }" "${out[i]}" "${expect[@]}"
    done
    queued=() expects=()
    return "$result"
}

# ---- The program and the recorder --------------------------------------------

size() { stat -c %s "$1" 2>/dev/null || echo 0; }

# Waits until the recording has grown by $1 bytes, for at most $2 tenths of a
# second; fails when the recorder has died.
grow() {
    local target=$(($(size "$files/recording.raw") + $1))
    for _ in $(seq "$2"); do
        kill -0 "$parec_pid" 2>/dev/null || return 1
        [ "$(size "$files/recording.raw")" -lt "$target" ] || return 0
        sleep 0.1
    done
    return 1
}

# SIGINT, since SIGTERM would lose what the recorder has buffered.
stop_recorder() { { kill -INT "$parec_pid" && wait "$parec_pid"; } 2>/dev/null; parec_pid=""; }

# The Linux path of a file name of the scenarios: C:\... or C:/... on the Wine
# prefix's drive C, any other name in the program's files folder.
host_path() {
    local rest
    if [[ $1 =~ ^[Cc]:[/\\](.*)$ ]]; then rest="${BASH_REMATCH[1]}" && echo "$WINEPREFIX/drive_c/${rest//\\//}"; else echo "$files/$1"; fi
}

# Captures the window whose title begins with $1 (Wine's X window keeps the
# title the window was created with) into $2, once it stands still; the
# same picture gives the same file.
window_shot() {
    local line w h x y a="$work/shot-a.png" b="$work/shot-b.png"
    line="$(xwininfo -root -tree | grep -F "\"$1" | grep -F '"velmor.exe"' | head -n 1)"
    [[ $line =~ \ ([0-9]+)x([0-9]+)\+-?[0-9]+\+-?[0-9]+\ +\+(-?[0-9]+)\+(-?[0-9]+) ]] || return 1
    w="${BASH_REMATCH[1]}" h="${BASH_REMATCH[2]}" x="${BASH_REMATCH[3]}" y="${BASH_REMATCH[4]}"
    import -window root -crop "${w}x${h}+${x}+${y}" +repage "$a"
    for _ in $(seq 30); do
        sleep 0.2
        import -window root -crop "${w}x${h}+${x}+${y}" +repage "$b"
        [ "$(compare -metric AE "$a" "$b" null: 2>&1 >/dev/null)" = "0" ] && break
        mv "$b" "$a"
    done
    convert "$b" -strip -define png:exclude-chunks=date,time "PNG24:$2" && rm -f "$a" "$b"
}

# A line for the runner itself; returns 1 to end the scenario, 3 to run it
# again (the sound came too late to tell).
host() {
    local args=() a status
    for a; do
        [[ $a == @* ]] && a="${vars[${a#@}]-}"
        args+=("$a")
    done
    set -- "${args[@]}"
    case "$1" in
        start)
            end_program
            local exe="$program"
            [ $# -lt 2 ] || exe="$(host_path "$2")"
            (cd "$(dirname "$exe")" && exec "${priority[@]}" wine "$exe" </dev/null >>"$work/velmor.log" 2>&1) &
            program_pid=$!
            queue wait-window "$title" 60
            flush
            ;;
        exits)
            for _ in $(seq 150); do kill -0 "$program_pid" 2>/dev/null && sleep 0.1; done
            kill -0 "$program_pid" 2>/dev/null && { bad "the program has not ended after 15 s" && end_program && return 1; }
            wait "$program_pid"
            judge "the program's exit status" "$?" = "$2"
            program_pid=""
            ;;
        record)
            "${priority[@]}" parec -d "$sink.monitor" --format=s16le --channels=2 --rate=44100 --latency-msec=20 \
                >"$files/recording.raw" 2>"$work/parec.log" &
            parec_pid=$!
            # The idle sink's monitor delivers silence: once some has arrived,
            # nothing played from now on is missed.
            grow 4096 100 || { bad "the recorder does not start (see ${work#"$root"/}/parec.log)" && return 1; }
            ;;
        sound)
            grow 52920 50  # the last frames on their way
            stop_recorder
            mv "$files/recording.raw" "$work/$name.raw"
            # A pattern file named first lies in the program's files folder.
            local options=("${@:2}") i
            [ $# -lt 2 ] || [[ $2 == -* ]] || options=("$files/$2" "${@:3}")
            for i in "${!options[@]}"; do
                [ "${options[i]}" != --events ] || options[i + 1]="$files/${options[i + 1]}"
            done
            "$compare" sound "$work/$name.raw" "${options[@]}" >"$work/$name.txt"
            status=$?
            sed 's/^/    /' "$work/$name.txt"
            [ "$status" -ne 3 ] || return 3
            if [ "$status" -eq 0 ]; then ok "sound ${*:2}"; else bad "sound ${*:2} (${work#"$root"/}/$name.raw)"; fi
            ;;
        same)
            local wave=()
            [[ $2 != *.wav ]] || wave=(--wav)
            # The program may still be writing the file it was asked for
            # (Stream 2 Disk writes after its dialog has closed): it is
            # compared once it is as long as the render, or after 10 s.
            "$render" ${3:+"$(host_path "$3")"} "${wave[@]}" -o "$work/same.raw"
            for _ in $(seq 100); do
                [ "$(stat -c %s "$files/$2" 2>/dev/null || echo 0)" -lt "$(stat -c %s "$work/same.raw")" ] || break
                sleep 0.1
            done
            if cmp "$files/$2" "$work/same.raw"; then
                ok "same $2 ${3-}"; else bad "same $2 ${3-}: not what velmor-render writes"; fi
            ;;
        shot)
            sleep 0.5
            import -window root "$work/$2.png" && say "  screenshot ${work#"$root"/}/$2.png"
            ;;
        sh)
            if (cd "$files" && eval "${*:2}"); then ok "sh ${*:2}"; else bad "sh ${*:2}"; fi
            ;;
        unpack)
            local archives=("$root"/$2) folder
            folder="$(host_path "$3")"
            rm -rf "$folder" "$work/unpacked"
            if [ "${#archives[@]}" -eq 1 ] && [ -f "${archives[0]}" ] \
                && python3 -m zipfile -e "${archives[0]}" "$work/unpacked" \
                && [ "$(ls "$work/unpacked" | wc -l)" -eq 1 ] && mkdir -p "$(dirname "$folder")" \
                && mv "$work/unpacked"/* "$folder"; then
                ok "unpack ${archives[0]#"$root"/} into $3"
            else
                bad "unpack $2: not one archive with one folder" && return 1
            fi
            ;;
        window-shot)
            if window_shot "$2" "$root/$3"; then say "  $3"; else bad "window-shot: no window titled \"$2\"" && return 1; fi
            ;;
    esac
}

# Runs one scenario file; returns 3 when it is to be run again.
run_scenario() {
    local line status
    vars=() dialog=""
    while IFS= read -r line || [ -n "$line" ]; do
        [[ $line =~ ^[[:space:]]*(#|$) ]] && continue
        eval "set -- $line"
        case "$1" in
            start | exits | record | sound | same | shot | sh | unpack | window-shot)
                flush || return 1
                host "$@"
                status=$?
                [ "$status" -eq 0 ] || return "$status"
                ;;
            *) queue "$@" ;;
        esac
    done <"$1"
    flush
}

# ---- The scenarios -------------------------------------------------------------

# Runs one scenario, again while its sound came too late to tell.
run_attempts() {
    local attempt
    for attempt in $(seq "$attempts"); do
        say "$name"
        passed=0 failed=0
        # Every scenario starts with an empty files folder, so that no file
        # of another scenario (or an earlier attempt) is asked about.
        chattr -R -i "$files" 2>/dev/null
        chmod -R u+w "$files" 2>/dev/null
        find "$files" -mindepth 1 -delete
        run_scenario "$scenario"
        status=$?
        end_program
        [ -z "$parec_pid" ] || stop_recorder
        [ "$status" -eq 3 ] || break
        say "  the sound came too late to tell (the sound system ran late): once more"
    done
    [ "$status" -ne 3 ] || bad "the sound came too late $attempts times"
    [ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
}

started=$SECONDS
good=0
failing=0
second=()
for scenario in "${scenarios[@]}"; do
    name="$(basename "$scenario" .e2e)"
    # A scenario that fails is run once more, since a loaded machine can
    # hold up Wine, the sound server or the driver beyond what a scenario
    # allows for; a fault fails both runs, and a pass at the second run is
    # named in the last line.
    if run_attempts; then
        good=$((good + 1)) && say "PASS $name: $passed checks"
    else
        say "  $failed of $((passed + failed)) checks failed: once more, to tell a fault from a moment's load"
        if run_attempts; then
            good=$((good + 1)) second+=("$name") && say "PASS $name: $passed checks, at the second run"
        else
            failing=$((failing + 1)) && say "FAIL $name: $failed of $((passed + failed)) checks failed, twice"
        fi
    fi
done
x64=""
[ "$WINE_RUNS_32BIT" = yes ] || x64=" (the Windows x64 build: $wine_no_32bit_reason)"
say "$good scenarios passed, $failing failed in $((SECONDS - started)) s${second[*]:+ (passed only at a second run: ${second[*]})}$x64"
[ "$failing" -eq 0 ]
