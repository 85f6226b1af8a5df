#!/usr/bin/env bash
# The program's dialogs end to end: velmor.exe runs under Wine on a private X
# display (Xvfb) with a private PulseAudio null sink as its sound output, in
# a Wine prefix of this test's own; velmor-driver.exe opens each dialog from
# the main window's menu commands, works its controls the way a user would
# and reads back what it shows.
#
#   Step editor: a pitch slider names its note; the note and slide switches
#     toggle; the pitch spin transposes (clamped at the top), the shift spin
#     rotates and rotates back; Generate Random keeps the switches and stays
#     within its range; a saved pattern streams as velmor-render renders it;
#     pattern Copy and Paste carry the 16 pitches to a second unit.
#   Effects Setup: the texts follow the sliders; Feedback is kept in steps
#     (37 comes back as 36); Escape keeps a change.
#   Adjust Average Response: the start-up size; OK keeps a new size (rounded),
#     Escape keeps the old one.
#   Select WAV Device: lists Wine's devices; OK re-creates the output, and
#     Play and Stop still work: the sound recorded from the sink's monitor is
#     velmor-render's of the pattern saved then, bit for bit.
#   About: the program's name and version.
#
# Screenshots of every dialog go to build/e2e-dialogs/.
#
# Needs the Linux build (velmor-render) and the Windows build (velmor.exe,
# velmor-driver.exe). Every daemon it starts is stopped again by its process
# id.
set -uo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root" || exit 1

native="$root/build/native"
windows="$root/build/windows"
work="$root/build/e2e-dialogs"
sink="velmor_dialogs"
title="Velmor V1.05"

say() { echo "e2e-dialogs: $*"; }
die() {
    say "$*"
    exit 1
}

for tool in Xvfb import compare pulseaudio pactl parec wine wineserver timeout; do
    command -v "$tool" >/dev/null || die "$tool is missing (scripts/install-deps.sh installs it)"
done
for program in "$native/tools/velmor-render" "$native/tools/velmor-compare-capture" "$windows/app/velmor.exe" "$windows/tools/velmor-driver.exe"; do
    [ -f "$program" ] || die "${program#"$root"/} is missing: build the Linux and the Windows targets first"
done
[ -d /usr/share/wine/fonts ] || die "Wine's fonts are missing (package fonts-wine)"

mkdir -p "$work"
rm -f "$work"/*.png "$work"/*.raw "$work"/*.log "$work"/*.txt "$work"/*.pat

source "$root/scripts/e2e-session.sh"
e2e_session_folders

parec_pid=""
program_pid=""

cleanup() {
    if [ -n "$program_pid" ]; then
        kill -CONT "$program_pid" 2>/dev/null
        kill "$program_pid" 2>/dev/null
        wait "$program_pid" 2>/dev/null
    fi
    if [ -n "$parec_pid" ]; then
        kill -INT "$parec_pid" 2>/dev/null
        wait "$parec_pid" 2>/dev/null
    fi
    e2e_session_stop
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# ---- The private display, sound server and Wine prefix ---------------------

e2e_session_start "${VELMOR_E2E_DIALOGS_WINEPREFIX:-$work/wine-prefix}"

priority=()
if [ -z "$(nice -n -10 true 2>&1)" ]; then priority=(nice -n -10); fi
wineserver -k 2>/dev/null
wineserver -w
"${priority[@]}" wineserver -f -p >"$work/wineserver.log" 2>&1 &
wineserver_pid=$!

# ---- Helpers ------------------------------------------------------------------

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
# expect WHAT ACTUAL WANTED
expect() {
    if [ "$2" = "$3" ]; then ok "$1: $3"; else bad "$1: '$2', expected '$3'"; fi
}

# The driver; its lines go to stdout. Fails when an action fails.
drv() {
    timeout 120 wine "$windows/tools/velmor-driver.exe" --title "$title" "$@" </dev/null
}

# Runs the driver and puts its lines into the array `out`; a failure counts
# as a failed check.
query() {
    local what="$1" text
    shift
    out=()
    if ! text="$(drv "$@")"; then
        bad "$what: the driver failed"
        return 1
    fi
    mapfile -t out <<<"$text"
    return 0
}

start_program() {
    "${priority[@]}" wine "$windows/app/velmor.exe" </dev/null >>"$work/velmor.log" 2>&1 &
    program_pid=$!
}

# Waits up to $1 seconds for the program to end; its exit status goes to
# `exit_status`. Returns 1 when it is still running.
wait_exit() {
    local tenths=$(($1 * 10))
    for _ in $(seq "$tenths"); do
        kill -0 "$program_pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$program_pid" 2>/dev/null; then return 1; fi
    wait "$program_pid"
    exit_status=$?
    program_pid=""
    return 0
}

kill_program() {
    if [ -n "$program_pid" ]; then
        kill "$program_pid" 2>/dev/null
        wait "$program_pid" 2>/dev/null
        program_pid=""
    fi
}

# Ends a run with E&xit, which must end the program with status 0.
exit_program() {
    if ! drv post 40005; then
        bad "E&xit: the driver failed"
        kill_program
        return 1
    fi
    if ! wait_exit 15; then
        bad "E&xit: the program is still running after 15 s"
        kill_program
        return 1
    fi
    expect "E&xit ends the program; exit status" "$exit_status" 0
}

# A screenshot of the whole display once it stands still: captures until
# two in a row are the same.
shoot() {
    local name="$1" previous="$work/shot-a.png" current="$work/shot-b.png" differing
    import -window root "$previous"
    for _ in $(seq 30); do
        sleep 0.1
        import -window root "$current"
        differing="$(compare -metric AE "$previous" "$current" null: 2>&1 >/dev/null)"
        if [ "$differing" = "0" ]; then break; fi
        mv "$current" "$previous"
    done
    mv "$current" "$work/$name.png"
    rm -f "$previous"
    say "screenshot build/e2e-dialogs/$name.png"
}

# Driver arguments that read the 16 pitch sliders, the 16 note switches or
# the 16 slide switches of the step editor.
positions_args() { for i in $(seq 0 15); do printf '%s\n' pos $((3000 + i)); done; }
switches_args() {
    for i in $(seq 0 15); do printf '%s\n' check $((1958 + i)); done
    for i in $(seq 0 15); do printf '%s\n' check $((2000 + i)); done
}
mapfile -t read_positions < <(positions_args)
mapfile -t read_switches < <(switches_args)

step="Step editor"

# ---- Run 1: the step editor --------------------------------------------------

run_step_editor() {
    say "run 1: the step editor"
    start_program
    query "opening the step editor" wait-window "$title" 60 post 40029 dialog "$step" 10 || return 1
    ok "Pattern > Edit (40029) opens \"$step\""
    shoot step-editor

    query "a pitch slider" dialog "$step" 5 set 3000 27 text 1974 || return 1
    expect "step 1's slider at 27: note name (1974)" "${out[0]}" "A2"

    query "the switches" dialog "$step" 5 check 1958 click 1958 check 1958 check 2000 click 2000 check 2000 || return 1
    if [ "${out[0]}" != "${out[1]}" ] && [ "${out[2]}" != "${out[3]}" ] && [[ "${out[1]}${out[3]}" =~ ^[01][01]$ ]]; then
        ok "the note switch 1958 toggles (${out[0]} -> ${out[1]}) and the slide switch 2000 toggles (${out[2]} -> ${out[3]})"
    else
        bad "the switches toggle: note 1958 ${out[0]} -> ${out[1]}, slide 2000 ${out[2]} -> ${out[3]}"
    fi

    # Pitches 50 and 51 (the highest) on steps 1 and 2, then the pitch spin.
    query "the pitch spin" dialog "$step" 5 set 3000 1 set 3001 0 text 1974 text 1975 \
        "${read_positions[@]}" spin 1110 up "${read_positions[@]}" text 1974 text 1975 \
        spin 1110 down "${read_positions[@]}" text 1974 text 1975 || return 1
    expect "pitches 50 and 51 name" "${out[0]} ${out[1]}" "B4 C5"
    local before=("${out[@]:2:16}") up=("${out[@]:18:16}") down=("${out[@]:36:16}")
    expect "the upper arrow of the pitch spin: steps 1 and 2 (slider positions, note names)" \
        "${up[0]} ${up[1]} ${out[34]} ${out[35]}" "0 0 C5 C5"
    expect "then the lower arrow: steps 1 and 2" "${down[0]} ${down[1]} ${out[52]} ${out[53]}" "1 1 B4 B4"
    local k raised=1 lowered=1
    for k in $(seq 2 15); do
        [ "${up[k]}" -eq $((before[k] > 0 ? before[k] - 1 : 0)) ] || raised=0
        [ "${down[k]}" -eq $((up[k] + 1)) ] || lowered=0
    done
    if [ "$raised" -eq 1 ] && [ "$lowered" -eq 1 ]; then
        ok "the pitch spin moves the other 14 steps up one and back down one too"
    else
        bad "the pitch spin on steps 3-16: before ${before[*]:2}; up ${up[*]:2}; down ${down[*]:2}"
    fi

    # The shift spin: right then left rotates and rotates back; the
    # switches stay.
    query "the shift spin" dialog "$step" 5 "${read_switches[@]}" "${read_positions[@]}" spin 1048 right \
        "${read_positions[@]}" spin 1048 left "${read_positions[@]}" "${read_switches[@]}" || return 1
    local switches="${out[*]:0:32}" p0=("${out[@]:32:16}") p1=("${out[@]:48:16}") p2=("${out[@]:64:16}")
    local switches_after="${out[*]:80:32}"
    local left="${p0[*]:1} ${p0[0]}" rightward="${p0[15]} ${p0[*]:0:15}"
    if [ "${p1[*]}" = "$left" ] || [ "${p1[*]}" = "$rightward" ]; then
        if [ "${p1[*]}" = "$left" ]; then
            ok "the right arrow of the shift spin rotates the pitches by one step (to the left)"
        else
            ok "the right arrow of the shift spin rotates the pitches by one step (to the right)"
        fi
    else
        bad "the shift spin's right arrow rotates by one: before ${p0[*]}; after ${p1[*]}"
    fi
    expect "the shift spin right then left restores the pitches" "${p2[*]}" "${p0[*]}"
    expect "the shift spin leaves the 32 switches" "$switches_after" "$switches"

    # Generate Random: the switches stay; pitches 24..36 (positions 15..27).
    query "Generate Random" dialog "$step" 5 click 1047 "${read_positions[@]}" "${read_switches[@]}" || return 1
    local random=("${out[@]:0:16}") inside=1
    for k in $(seq 0 15); do
        if [ "${random[k]}" -lt 15 ] || [ "${random[k]}" -gt 27 ]; then inside=0; fi
    done
    local pitches=()
    for k in $(seq 0 15); do pitches+=($((51 - random[k]))); done
    if [ "$inside" -eq 1 ]; then
        ok "Generate Random gives pitches within 24..36: ${pitches[*]}"
    else
        bad "Generate Random gives pitches within 24..36: ${pitches[*]}"
    fi
    expect "Generate Random keeps the 32 switches" "${out[*]:16:32}" "$switches"
    shoot step-editor-random

    # Closed with OK; the pattern saved, then streamed: velmor-render of the
    # saved pattern writes the same bytes.
    query "closing the step editor" dialog "$step" 5 command 1 main wait-gone "$step" 10 \
        post 40003 file "Save As" "$winfiles\\random.pat" 30 post 40026 file "Save As" "$winfiles\\random.raw" 30 \
        exists Error || return 1
    expect "no error message after saving and streaming the edited pattern" "${out[0]}" 0
    if [ -f "$files/random.pat" ] && "$native/tools/velmor-render" "$files/random.pat" -o "$work/random-reference.raw" \
        && cmp -s "$files/random.raw" "$work/random-reference.raw"; then
        ok "Stream 2 Disk after the edits writes velmor-render's bytes for the pattern saved then" \
            "($(stat -c %s "$files/random.raw") bytes)"
    else
        bad "Stream 2 Disk after the edits differs from velmor-render of the saved random.pat"
    fi

    # Pattern Copy on unit 1, Paste on a new second unit.
    query "Copy and Paste" command 40030 command 40028 select-tab 1 tab post 40029 dialog "$step" 10 \
        "${read_positions[@]}" command 1 main wait-gone "$step" 10 command 40031 post 40029 dialog "$step" 10 \
        "${read_positions[@]}" command 1 main wait-gone "$step" 10 || return 1
    expect "the second unit's tab is selected" "${out[0]}" 1
    say "unit 2's slider positions before Paste: ${out[*]:1:16}"
    expect "after Copy on unit 1 and Paste on unit 2, the editor shows unit 1's 16 pitches" "${out[*]:17:16}" \
        "${random[*]}"
    exit_program
}

# ---- Run 2: Effects Setup, Adjust Average Response, Select WAV Device, About --

run_options() {
    say "run 2: Effects Setup, Adjust Average Response, Select WAV Device, About"
    local fx="Effects Setup" response="Adjust Average Response" device="Select WAV Device" about="About Velmor"
    start_program
    query "Effects Setup" wait-window "$title" 60 post 40035 dialog "$fx" 10 || return 1
    ok "Options > Effects Setup (40035) opens \"$fx\""
    shoot effects-setup
    query "Effects Setup" dialog "$fx" 5 set 1029 4 text 1073 set 1108 64 text 1075 set 1107 37 text 1074 \
        command 1 main wait-gone "$fx" 10 post 40035 dialog "$fx" 10 pos 1107 text 1074 pos 1029 pos 1108 || return 1
    expect "Steps (1029) at its right end (4): field 1073" "${out[0]}" "8 Steps"
    expect "Pan (1108) at 64: field 1075" "${out[1]}" "0"
    expect "Feedback (1107) at 37: field 1074" "${out[2]}" "37%"
    expect "Feedback after OK and reopening: slider, field" "${out[3]} ${out[4]}" "36 36%"
    expect "Steps and Pan after OK and reopening" "${out[5]} ${out[6]}" "4 64"
    query "Effects Setup, Escape" dialog "$fx" 5 set 1107 80 text 1074 post 2 main wait-gone "$fx" 10 \
        post 40035 dialog "$fx" 10 pos 1107 text 1074 command 1 main wait-gone "$fx" 10 || return 1
    expect "Feedback at 80" "${out[0]}" "80%"
    # Feedback is kept in steps: say what came back, require it near 80.
    if [ "${out[1]}" -ge 78 ] && [ "${out[1]}" -le 80 ] && [ "${out[2]}" = "${out[1]}%" ]; then
        ok "Escape keeps the change: reopened, Feedback stands at ${out[1]} and reads ${out[2]}"
    else
        bad "Escape keeps the change: reopened, Feedback stands at ${out[1]} and reads '${out[2]}' (moved to 80)"
    fi

    query "Adjust Average Response" post 40015 dialog "$response" 10 pos 1003 text 1004 || return 1
    ok "Options > Adjust Response (40015) opens \"$response\""
    expect "the start-up response: slider 1003" "${out[0]}" 31
    expect "the start-up response: field 1004 (trimmed)" "$(echo "${out[1]}" | sed 's/[[:space:]]*$//')" \
        "Average Response after 139 ms"
    shoot adjust-response
    query "Adjust Average Response, OK" dialog "$response" 5 set 1003 50 command 1 main wait-gone "$response" 10 \
        post 40015 dialog "$response" 10 pos 1003 text 1004 || return 1
    expect "position 50 and OK, reopened: slider" "${out[0]}" 49
    expect "position 50 and OK, reopened: field (trimmed)" "$(echo "${out[1]}" | sed 's/[[:space:]]*$//')" \
        "Average Response after 208 ms"
    query "Adjust Average Response, Escape" dialog "$response" 5 set 1003 80 text 1004 post 2 main \
        wait-gone "$response" 10 post 40015 dialog "$response" 10 pos 1003 text 1004 post 2 main \
        wait-gone "$response" 10 || return 1
    # The field's text ends with a newline: it comes as two lines, the
    # second empty.
    if [ "${out[0]}" = "Average Response after 208 ms" ] || [ "${out[0]#Average Response after }" = "${out[0]}" ]; then
        bad "moved to 80: the field follows the slider: '${out[0]}'"
    else
        ok "moved to 80: the field follows the slider: ${out[0]}"
    fi
    expect "moved to 80, Escape, reopened: slider and field as before" \
        "${out[2]} $(echo "${out[3]}" | sed 's/[[:space:]]*$//')" "49 Average Response after 208 ms"

    query "Select WAV Device" post 40007 dialog "$device" 10 count 1002 || return 1
    ok "Options > Select Output Device (40007) opens \"$device\""
    if [ "${out[0]}" -gt 0 ] 2>/dev/null; then
        ok "the device list (1002) has ${out[0]} device(s)"
    else
        bad "the device list (1002) has devices: '${out[0]}'"
    fi
    shoot select-device
    # OK re-creates the output. Then Play and Stop, recorded from the sink's
    # monitor: the sound is velmor-render's of the pattern saved in this
    # state (nothing has played or streamed before in this run).
    query "Select WAV Device, OK" dialog "$device" 5 command 1 main wait-gone "$device" 10 \
        post 40003 file "Save As" "$winfiles\\options.pat" 30 exists Error menu-state || return 1
    expect "no error message after Save Pattern" "${out[0]}" 0
    local menu_before="${out[1]}" capture="$work/capture.raw" status
    "$native/tools/velmor-render" "$files/options.pat" --frames 441000 -o "$work/options-reference.raw" \
        || bad "velmor-render of the saved options.pat failed"
    "${priority[@]}" parec -d "$sink.monitor" --format=s16le --channels=2 --rate=44100 --latency-msec=20 \
        >"$capture" 2>"$work/parec.log" &
    parec_pid=$!
    # The idle sink's monitor delivers silence: once some has arrived the
    # recorder is running.
    for _ in $(seq 100); do
        [ "$(stat -c %s "$capture")" -ge 4096 ] && break
        sleep 0.1
    done
    query "Play and Stop" command 1007 menu-state sleep 3000 command 1009 menu-state
    status=$?
    sleep 0.5
    kill -INT "$parec_pid" 2>/dev/null
    wait "$parec_pid" 2>/dev/null
    parec_pid=""
    [ "$status" -eq 0 ] || return 1
    expect "after OK in \"$device\": output menu state before Play, while playing, after Stop" \
        "$menu_before ${out[*]}" "7 0 7"
    "$native/tools/velmor-compare-capture" "$work/options-reference.raw" "$capture" --min-seconds 2 \
        >"$work/compare.txt"
    status=$?
    sed 's/^/  /' "$work/compare.txt"
    case "$status" in
        0) ok "after the output is re-created, the recorded sound is velmor-render's frames of the saved pattern" \
            "bit for bit" ;;
        3) say "NOTE: the recorded sound came too late to compare (the sound system underran): not counted" ;;
        *) bad "after the output is re-created, the recorded sound is velmor-render's frames of the saved pattern" \
            "(build/e2e-dialogs/capture.raw, compare.txt)" ;;
    esac

    query "About" post 40006 dialog "$about" 10 has-text "Velmor V1.05 Beta" || return 1
    ok "Help > About (40006) opens \"$about\""
    expect "the About dialog shows \"Velmor V1.05 Beta\"" "${out[0]}" 1
    shoot about
    query "closing About" dialog "$about" 5 post 1 main wait-gone "$about" 10 || return 1
    exit_program
}

# ---- The runs ---------------------------------------------------------------

started=$SECONDS
for run in run_step_editor run_options; do
    if ! "$run"; then
        say "$run stopped early: ending the program"
        kill_program
    fi
    if [ -n "$program_pid" ]; then kill_program; fi
done

if [ "$files_temporary" -eq 1 ]; then cp -r "$files" "$work/files"; fi

if [ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]; then
    say "PASS: $passed checks passed in $((SECONDS - started)) s"
    exit 0
fi
say "FAIL: $failed of $((passed + failed)) checks failed (artifacts in build/e2e-dialogs/)"
exit 1
