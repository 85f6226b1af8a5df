#!/usr/bin/env bash
# The Windows sound output end to end: velmor-playtest.exe plays the start-up
# state under Wine through DirectSound into a private PulseAudio null sink,
# the sink's monitor is recorded, and the recording is compared bit for bit
# with the frames velmor-render computes for the same state.
#
# Two buffer sizes: 32768 bytes, where the sound after the recording's
# leading silence must be the reference from its first frame on, and 4608
# bytes, where Wine's mixer takes longer over its first pass than the buffer
# lasts and so plays the prefilled buffer more than once: there the
# comparison skips that start (at most a quarter of a second) and must hold
# from where the recording locks onto the reference. Either way every
# recorded frame up to the trailing silence must be right, and a stretch of
# at least 4 seconds must be the reference bit for bit without a gap.
#
# On a busy machine Wine's feed to PulseAudio can fall behind: PulseAudio
# then plays silence and the stream goes on where it stopped (an underrun),
# or a refill comes too late and part of the stream buffer is heard twice.
# The comparison tells these apart from wrong frames; when they leave no
# 4-second stretch, that size is played again (five times at most).
#
# Needs the Linux build (velmor-render, velmor-compare-capture) and the
# Windows build (velmor-playtest.exe). Starts no display: the program needs
# none. Every daemon it starts is stopped again by its process id.
set -uo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

native="$root/build/native/tools"
windows="$root/build/windows/tools"
work="$root/build/e2e-audio"
sink="velmor_e2e"
seconds=7
reference_frames=441000  # 10 s: more than is played
min_seconds=4
max_skip_frames=11025    # a quarter of a second

say() { echo "e2e-audio: $*"; }
die() {
    say "$*"
    exit 1
}

for tool in pulseaudio pactl parec wine wineserver timeout; do
    command -v "$tool" >/dev/null || die "$tool is missing (scripts/install-deps.sh installs it)"
done
for program in "$native/velmor-render" "$native/velmor-compare-capture" "$windows/velmor-playtest.exe"; do
    [ -f "$program" ] || die "${program#"$root"/} is missing: build the Linux and the Windows targets first"
done

mkdir -p "$work"

# A fresh 0700 runtime folder for the private PulseAudio. Its socket path must
# fit into a socket address (107 bytes); in a deep build tree take one from
# mktemp instead.
runtime="$(mktemp -d "$work/runtime.XXXXXX")" || die "cannot create a runtime folder"
if [ "${#runtime}" -gt 80 ]; then
    rmdir "$runtime"
    runtime="$(mktemp -d)" || die "cannot create a runtime folder"
fi
chmod 0700 "$runtime"

pulse_pid=""
parec_pid=""
wine_used=0

cleanup() {
    if [ -n "$parec_pid" ]; then
        kill -INT "$parec_pid" 2>/dev/null
        wait "$parec_pid" 2>/dev/null
    fi
    if [ "$wine_used" -eq 1 ]; then wineserver -k 2>/dev/null; fi
    if [ -n "$pulse_pid" ]; then
        kill "$pulse_pid" 2>/dev/null
        for _ in $(seq 50); do
            kill -0 "$pulse_pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$pulse_pid" 2>/dev/null
    fi
    rm -rf "$runtime"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Every PulseAudio client here talks to the private server only and never
# starts a server of its own; Wine gets no display.
export XDG_RUNTIME_DIR="$runtime"
export PULSE_SERVER="unix:$runtime/pulse/native"
printf 'autospawn = no\n' >"$runtime/client.conf"
export PULSE_CLIENTCONFIG="$runtime/client.conf"
unset DISPLAY WAYLAND_DISPLAY

# A Wine prefix of this test's own, so that stopping its wineserver touches
# nothing else. Booted once, before anything is recorded.
export VELMOR_WINEPREFIX="${VELMOR_E2E_WINEPREFIX:-$work/wine-prefix}"
source "$root/scripts/wine-env.sh"
if [ ! -f "$WINEPREFIX/system.reg" ]; then say "preparing the Wine prefix"; fi
wine_used=1
wine_prefix_ready || die "cannot prepare the Wine prefix $WINEPREFIX"

# The private PulseAudio with a null sink as the default output.
pulseaudio --daemonize=yes --exit-idle-time=-1 --system=false -n --load="module-native-protocol-unix" \
    2>"$work/pulseaudio.log" || die "PulseAudio does not start (see build/e2e-audio/pulseaudio.log)"
for _ in $(seq 50); do
    pulse_pid="$(cat "$runtime/pulse/pid" 2>/dev/null)"
    [ -n "$pulse_pid" ] && break
    sleep 0.1
done
[ -n "$pulse_pid" ] || die "PulseAudio left no process id"
ready=0
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

rm -f "$work"/capture-*.raw
"$native/velmor-render" --frames "$reference_frames" -o "$work/reference.raw" || die "velmor-render failed"

bytes_now() { stat -c %s "$1" 2>/dev/null || echo 0; }

# Waits until the recording has grown by $2 bytes, for at most $3 tenths of a
# second; fails when the recorder has died.
wait_for_growth() {
    local file="$1" more="$2" tries="$3" target
    target=$(($(bytes_now "$file") + more))
    for _ in $(seq "$tries"); do
        kill -0 "$parec_pid" 2>/dev/null || return 1
        [ "$(bytes_now "$file")" -ge "$target" ] && return 0
        sleep 0.1
    done
    return 1
}

# The player and the recorder run at a raised priority where that is allowed
# (as root), as a sound program's audio threads do on Windows: on a busy
# machine Wine's path to PulseAudio otherwise underruns now and then.
priority=()
if [ -z "$(nice -n -10 true 2>&1)" ]; then priority=(nice -n -10); fi

# Plays with a stream buffer of $1 bytes while recording (attempt $2), then
# compares; further arguments go to the comparison.
# Returns the comparison's status: 0 pass, 1 fail, 3 underruns only.
play_and_compare() {
    local bytes="$1" capture="$work/capture-$1-$2.raw" status
    shift 2
    say "playing $seconds s with a $bytes-byte stream buffer"
    "${priority[@]}" parec -d "$sink.monitor" --format=s16le --channels=2 --rate=44100 --latency-msec=20 \
        >"$capture" 2>"$work/parec.log" &
    parec_pid=$!
    # The idle sink's monitor delivers silence: once some has arrived the
    # recorder is running and nothing played from now on is missed.
    if ! wait_for_growth "$capture" 4096 100; then
        say "the recorder does not start (see build/e2e-audio/parec.log)"
        kill -INT "$parec_pid" 2>/dev/null
        wait "$parec_pid" 2>/dev/null
        parec_pid=""
        return 1
    fi
    timeout 60 "${priority[@]}" wine "$windows/velmor-playtest.exe" --bytes "$bytes" --seconds "$seconds" \
        </dev/null | tr -d '\r'
    status="${PIPESTATUS[0]}"
    # Let the last mixed frames reach the recorder, then stop it with SIGINT
    # (SIGTERM would lose what it has buffered).
    wait_for_growth "$capture" 52920 50
    kill -INT "$parec_pid"
    wait "$parec_pid"
    parec_pid=""
    if [ "$status" -ne 0 ]; then
        say "velmor-playtest.exe failed (exit status $status)"
        wineserver -k 2>/dev/null
        return 1
    fi
    "$native/velmor-compare-capture" "$work/reference.raw" "$capture" --min-seconds "$min_seconds" "$@"
}

# Wrong frames fail at once. A recording that was right but came too late
# (underruns of the sound system, or a late refill that played the stream
# buffer once more) is played again, up to five times in all.
attempts=5
check_size() {
    local attempt status
    local bytes="$1"
    shift
    for attempt in $(seq "$attempts"); do
        play_and_compare "$bytes" "$attempt" "$@"
        status=$?
        [ "$status" -eq 3 ] || return "$status"
        say "inconclusive (attempt $attempt of $attempts): the sound came too late, playing again"
    done
    return 1
}

result=0
check_size 32768 || result=1
check_size 4608 --max-skip "$max_skip_frames" || result=1

if [ "$result" -eq 0 ]; then
    say "PASS: both recordings are the reference bit for bit"
else
    say "FAIL (recordings kept in build/e2e-audio/)"
fi
exit "$result"
