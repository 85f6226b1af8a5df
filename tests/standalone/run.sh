#!/usr/bin/env bash
# The stand-alone program, velmor-standalone, on a display of its own
# (Xvfb), as a Linux user meets it:
#
#  1. With a JACK server (JACK's dummy driver, in step with its clients): the
#     window appears (jack.png, the window alone window.png); keys a JACK client sends sound as
#     velmor-render --events plays them, bit for bit, in the state the last
#     session left (a demo put there); the program's audio callback neither
#     allocates, nor waits, nor touches a file (counted); quitting keeps the
#     state in the session file with the bytes the Windows program's save
#     writes. A click in the window changes the pattern, which the next
#     session shows and keeps byte for byte. With "Follow Host", MIDI clock
#     (Start, then ticks) steps the sequencer as the renderer's clock input
#     does; Bank Select on channel 1 changes no parameter; a session file
#     that cannot be read is kept aside.
#  2. With no JACK server, straight on PulseAudio (a null sink): the window
#     appears (pulse.png), and Play plays the song demo the session holds as
#     velmor-render plays it, bit for bit from its first frame, without a gap
#     (SECONDS seconds of it with --long; 10 by default). Without ALSA's
#     sequencer (none here) it says so and plays on.
#  3. With neither server and no ALSA device (none here) it says what each
#     answered and ends with status 1, the session untouched. (ALSA's own
#     output is not played here: this machine has no ALSA device.)
#
# usage: tests/standalone/run.sh BUILD [--long SECONDS]
# Pictures and logs go to BUILD/standalone. Skipped (77) where a tool is
# missing.
set -uo pipefail
build="$(cd "$1" && pwd)"
root="$(cd "$(dirname "$0")/../.." && pwd)"
seconds=10
[ "${2:-}" = --long ] && seconds="$3"
program="$build/bin/velmor-standalone"
client="$build/tests/standalone/velmor-jack-client"
counter="$build/tests/standalone/libvelmor-audio-thread-counter.so"
render="$build/tools/velmor-render"
compare="$build/tests/velmor-e2e-compare"
out="$build/standalone"
for tool in Xvfb jackd pulseaudio pactl parec xdotool import convert python3; do
    command -v "$tool" >/dev/null || { echo "standalone: skipped (no $tool)"; exit 77; }
done
for file in "$program" "$client" "$counter" "$render" "$compare"; do
    [ -x "$file" ] || [ -f "$file" ] || { echo "standalone: $file is not built"; exit 1; }
done
mkdir -p "$out"
rm -f "$out"/*.png "$out"/*.log
work="$(mktemp -d)"
pids=()
cleanup() {
    kill "${pids[@]}" 2>/dev/null
    wait 2>/dev/null
    [ -z "${PULSE_SERVER:-}" ] || pulseaudio --kill 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
passed=0 failed=0
pass() { echo "ok: $*"; passed=$((passed + 1)); }
fail() { echo "FAILED: $*"; failed=$((failed + 1)); }

# A display, a home and a JACK server name of the test's own.
displayfile="$(mktemp)"
Xvfb -displayfd 3 -screen 0 1200x800x24 -nolisten tcp 3>"$displayfile" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$displayfile" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n 1 "$displayfile")" LIBGL_ALWAYS_SOFTWARE=1 HOME="$work/home"
rm -f "$displayfile"
unset XDG_DATA_HOME XDG_CONFIG_HOME WAYLAND_DISPLAY
export JACK_DEFAULT_SERVER="velmor-standalone-$$" JACK_NO_AUDIO_RESERVATION=1 JACK_NO_START_SERVER=1
session="$HOME/.local/share/velmor/session.pat"
mkdir -p "$(dirname "$session")"

# Starts the program (with the counter preloaded where the first argument
# is "counted"), waits for its window and sets x0/y0 to its corner.
program_pid="" x0=0 y0=0
start() {
    local log="$out/$1.log" preload=""
    [ "${2:-}" = counted ] && preload="$counter"
    LD_PRELOAD="$preload" "$program" >"$log" 2>&1 &
    program_pid=$!
    local window
    window="$(timeout 20 xdotool search --sync --classname DISTRHO-Velmor 2>/dev/null | head -1)"
    [ -n "$window" ] || { cat "$log"; return 1; }
    local geometry
    geometry="$(xdotool getwindowgeometry "$window")"
    x0="$(sed -nE 's/.*Position: ([0-9]+),([0-9]+).*/\1/p' <<<"$geometry")"
    y0="$(sed -nE 's/.*Position: ([0-9]+),([0-9]+).*/\2/p' <<<"$geometry")"
    sleep 1
}
# Quits as a desktop's session end does, and waits.
quit() {
    kill -TERM "$program_pid" 2>/dev/null
    local status=0
    wait "$program_pid" || status=$?
    program_pid=""
    return $status
}
click() { xdotool mousemove $((x0 + $1)) $((y0 + $2)) click 1; sleep 0.5; }
colour() { convert "$1" -format "%[hex:p{$((x0 + $2)),$((y0 + $3))}]" info:; }

# 1. JACK.
jackd -S --no-realtime -t 20000 -d dummy -r 44100 -p 512 >"$out/jackd.log" 2>&1 &
jack_pid=$!
pids+=($jack_pid)
sleep 1
demo="$root/demos/01-acid-lo24.pat"
cp "$demo" "$session"
"$render" "$demo" --save "$work/saved.pat" || fail "velmor-render --save"
cat >"$work/keys.txt" <<'EOF'
0 90 2D 64
5000 B0 00 00
9000 80 2D 00
12000 90 30 7F
20000 90 24 40
30000 80 24 00
30000 80 30 00
40000 91 39 64
EOF
if start jack-keys counted; then
    import -window root "$out/jack.png"
    convert "$out/jack.png" -crop "1000x640+$x0+$y0" +repage "$out/window.png"
    if "$client" "$work/keys.txt" 88200 "$work/keys.raw" >"$out/jack-client.log" 2>&1 \
        && "$compare" sound "$work/keys.raw" "$demo" --events "$work/keys.txt" >"$out/jack-compare.log" 2>&1; then
        pass "JACK: keys sound as velmor-render --events plays them in the session's state"
    else
        fail "JACK: the keys' sound (see $out/jack-client.log, jack-compare.log)"
    fi
    quit || fail "JACK: the program's exit status"
    if grep -q "real-time, the stand-alone program's audio callback: 0 allocations, 0 frees, 0 lock waits, 0 file and system calls" \
        "$out/jack-keys.log"; then
        pass "JACK: the audio callback made no call it must not make"
    else
        fail "JACK: the audio callback's calls (see $out/jack-keys.log)"
    fi
    cmp -s "$session" "$work/saved.pat" && pass "the session kept at quitting is the Windows program's save of it" \
        || fail "the session kept at quitting differs from the Windows program's save"
else
    fail "JACK: the window did not appear"
fi

# A click switches step 3's note off; the next session shows it and keeps it.
cp "$session" "$work/before.pat"
if start jack-edit; then
    click 166 476
    quit
    if ! cmp -s "$session" "$work/before.pat" && [ "$(stat -c %s "$session")" = "$(stat -c %s "$work/before.pat")" ]; then
        cp "$session" "$work/edited.pat"
        start jack-restored && import -window root "$out/jack-restored.png" && quit
        if [ "$(colour "$out/jack-restored.png" 143 476)" = 3E424A ] && cmp -s "$session" "$work/edited.pat"; then
            pass "a click's edit is kept, shown and kept again by the next session"
        else
            fail "the edited session did not come back (see $out/jack-restored.png)"
        fi
    else
        fail "a click in the window did not change the session"
    fi
else
    fail "JACK: the window did not appear again"
fi

# MIDI clock with "Follow Host", from the start-up state: a session that
# cannot be read is put aside.
printf 'V1.0A\000broken' >"$work/broken.pat"
cp "$work/broken.pat" "$session"
{
    echo "0 FA"
    for tick in $(seq 0 191); do echo "$((tick * 919)) F8"; done
} >"$work/clock.txt"
if start jack-clock; then
    click 762 343
    import -window root "$out/jack-follow.png"
    if "$client" "$work/clock.txt" 176400 "$work/clock.raw" >>"$out/jack-client.log" 2>&1 \
        && "$compare" sound "$work/clock.raw" --events "$work/clock.txt" >>"$out/jack-compare.log" 2>&1; then
        pass "JACK: MIDI clock steps the sequencer as the renderer's clock input does"
    else
        fail "JACK: the sound with MIDI clock (see $out/jack-compare.log)"
    fi
    quit
    cmp -s "${session%.pat}-unreadable.pat" "$work/broken.pat" && [ -s "$session" ] \
        && pass "a session that cannot be read is kept aside, and the next one kept" \
        || fail "the unreadable session was not kept aside (see $out/jack-clock.log)"
else
    fail "JACK: the window did not appear for the clock"
fi
kill "$jack_pid" 2>/dev/null
wait "$jack_pid" 2>/dev/null

# 2. PulseAudio, no JACK server: a null sink of float samples, recorded as
# they come.
runtime="$work/runtime"
mkdir -p "$runtime" && chmod 700 "$runtime"
export XDG_RUNTIME_DIR="$runtime" PULSE_SERVER="unix:$runtime/pulse/native" PULSE_CLIENTCONFIG="$runtime/client.conf"
printf 'autospawn = no\n' >"$PULSE_CLIENTCONFIG"
pulseaudio --daemonize=yes --exit-idle-time=-1 --system=false -n --load="module-native-protocol-unix" 2>"$out/pulseaudio.log"
for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl load-module module-null-sink sink_name=velmor format=float32le rate=44100 channels=2 norewinds=1 >/dev/null \
    && pactl set-default-sink velmor || fail "PulseAudio does not answer (see $out/pulseaudio.log)"
song="$root/demos/07-song-swing-accents.pat"
outcome=""
for attempt in 1 2 3; do
    cp "$song" "$session"
    start pulse counted || { outcome="the window did not appear"; break; }
    [ "$attempt" = 1 ] && import -window root "$out/pulse.png"
    parec -d velmor.monitor --format=float32le --channels=2 --rate=44100 --latency-msec=20 >"$work/song.f32" &
    parec_pid=$!
    sleep 0.5
    click 615 24
    sleep "$seconds"
    kill -INT "$parec_pid" && wait "$parec_pid" 2>/dev/null
    quit
    python3 - "$work/song.f32" "$work/song.raw" <<'EOF'
import array, sys
samples = array.array('f', open(sys.argv[1], 'rb').read())
ints = array.array('h', (int(v * 32768) for v in samples))
inexact = sum(1 for v, i in zip(samples, ints) if v * 32768 != i)
open(sys.argv[2], 'wb').write(ints.tobytes())
sys.exit(1 if inexact else 0)
EOF
    [ $? = 0 ] || { outcome="samples that are no 16-bit values"; break; }
    # Whole passes of the song (16 s each) from its first frame.
    passes=$((seconds / 20))
    [ "$passes" -gt 0 ] || passes=""
    "$compare" sound "$work/song.raw" "$song" ${passes:+--passes "$passes"} >"$out/pulse-compare.log" 2>&1
    status=$?
    # A gap (the sound system falling behind) is no wrong frame, but the
    # playback must have none: played again.
    [ "$status" != 0 ] || grep -q '; 0 underrun(s);' "$out/pulse-compare.log" || status=3
    outcome="compare status $status"
    [ "$status" = 3 ] || break
done
if [ "$outcome" = "compare status 0" ]; then
    pass "PulseAudio: Play plays the song as velmor-render does, $seconds s without a gap"
else
    fail "PulseAudio: $outcome (see $out/pulse-compare.log)"
fi
grep -q "real-time, the stand-alone program's audio callback: 0 allocations, 0 frees, 0 lock waits, 0 file and system calls" \
    "$out/pulse.log" && pass "PulseAudio: the audio callback made no call it must not make" \
    || fail "PulseAudio: the audio callback's calls (see $out/pulse.log)"

grep -q "no MIDI input: ALSA's sequencer does not answer" "$out/pulse.log" \
    && pass "PulseAudio: without ALSA's sequencer the program says so and plays on" \
    || fail "PulseAudio: no word of the missing MIDI input (see $out/pulse.log)"

# 3. Neither JACK nor PulseAudio, and no ALSA device: the program says what
# each answered and ends, the session as it was.
pulseaudio --kill 2>/dev/null
cp "$session" "$work/kept.pat"
timeout 20 "$program" >"$out/no-sound.log" 2>&1
status=$?
if [ "$status" = 1 ] && grep -q "Velmor: no sound: no JACK server runs, PulseAudio: .*, and ALSA: " "$out/no-sound.log" \
    && cmp -s "$session" "$work/kept.pat"; then
    pass "no sound system: the program says why and ends (status 1), the session kept"
else
    fail "no sound system: status $status (see $out/no-sound.log)"
fi

echo "standalone: $passed passed, $failed failed"
[ "$failed" = 0 ]
