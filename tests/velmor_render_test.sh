#!/usr/bin/env bash
# The command line of velmor-render: its errors, its output sizes, --frames,
# --passes, --wav, --save and --events.
#
# usage: velmor_render_test.sh PATH/TO/velmor-render PATTERN-AT-125-BPM.pat
set -u

bin="${1:?usage: velmor_render_test.sh PATH/TO/velmor-render PATTERN-AT-125-BPM.pat}"
at125="${2:?usage: velmor_render_test.sh PATH/TO/velmor-render PATTERN-AT-125-BPM.pat}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

passed=0
failed=0
check() {  # WHAT COMMAND...: the command must succeed
    local what="$1"
    shift
    if "$@" >/dev/null 2>&1; then passed=$((passed + 1)); else failed=$((failed + 1)) && echo "FAILED: $what"; fi
}
run() { "$bin" "$@" >stdout 2>stderr && [ ! -s stderr ]; }
size_is() { [ -f "$1" ] && [ "$(wc -c <"$1")" -eq "$2" ]; }
# A refusal: a non-zero status, exactly one line on stderr, nothing on stdout.
refused() { ! "$bin" "$@" >stdout 2>stderr && [ "$(wc -l <stderr)" -eq 1 ] && [ ! -s stdout ]; }
le32() { printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)); }
patch_bytes() { printf "$3" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none; }

printf 'V1.0A\0only part of a header' >short.pat
printf 'MThd\0\0\0\6\0\0\0\1\0\140MTrk\0\0\0\36' >cut.mid
printf '5 F8\n4 F8\n' >order.txt  # events out of frame order
refusals=("" "-o" "--wav" "missing.pat -o x.raw" ". -o x.raw" "short.pat -o x.raw" "-o no/such/folder/x.raw"
    "--loud -o x.raw" "-o x.raw --frames" "-o x.raw --frames 12x" "-o x.raw --frames -5"
    "-o x.raw --frames 99999999999999999999" "-o x.raw --passes two" "-o x.raw --frames 10 --passes 1"
    "short.pat short.pat -o x.raw" "--save no/such/folder/x.pat -o x.raw" "--wav --frames 1099511627776 -o x.wav" "--import-midi" "--export-midi" "--import-midi missing.mid --save x.pat"
    "--import-midi short.pat --save x.pat" "--export-midi no/such/folder/x.mid" "--import-midi cut.mid -o x.raw"
    "--user-wave" "--user-wave missing.raw -o x.raw" "--user-wave . -o x.raw" "--pattern 65 -o x.raw" "--song --pattern 1 -o x.raw" "--events order.txt -o x.raw" "--play -o x.raw")
[ -w /dev/full ] && refusals+=("-o /dev/full")
for args in "${refusals[@]}"; do
    # shellcheck disable=SC2086
    check "refused: velmor-render $args" refused $args
done
check "--help" eval "'$bin' --help | grep -q '^usage: velmor-render'"

# renders OUT BYTES ARGS...: a clean run writing exactly BYTES to OUT.
renders() { local out="$1" bytes="$2"; shift 2; run "$@" -o "$out" && size_is "$out" "$bytes"; }
# One pass at 80 BPM (the start-up tempo): F = 16 x 8268 frames, F - 1 written.
F=132288
check "one pass" renders pass.raw $(((F - 1) * 4))
check "--frames 0" renders none.raw 0 --frames 0
check "--passes 2" renders passes.raw $((2 * F * 4)) --passes 2
check "one pass as the start of --passes 2" cmp -n $(((F - 1) * 4)) pass.raw passes.raw
check "--frames" renders frames.raw $(((F + 1000) * 4)) --frames $((F + 1000))
check "--frames as the start of --passes 2" cmp -n $(((F + 1000) * 4)) frames.raw passes.raw

# --wav: the RIFF header, then the same frames; -o - writes them to stdout.
printf "RIFF$(le32 $((36 + (F - 1) * 4)))WAVEfmt $(le32 16)\\x01\\x00\\x02\\x00$(le32 44100)$(le32 176400)\\x04\\x00\\x10\\x00data$(le32 $(((F - 1) * 4)))" >header.bin
check "--wav: the header, then the frames" eval "run -o pass.wav --wav && cmp -n 44 pass.wav header.bin && cmp -i 44:0 pass.wav pass.raw"
check "-o - with --wav" eval "'$bin' --wav -o - >stdout.wav 2>stderr && [ ! -s stderr ] && cmp stdout.wav pass.wav"

# --save: the start-up state's pattern file, which loads back to the same sound.
check "--save" eval "run --save saved.pat -o saved-pass.raw && size_is saved.pat 2359 && cmp saved-pass.raw pass.raw"
# --user-wave: two samples of the "User" waveform, and nothing else, change.
printf '\x01\x02\x03\x04' >two.raw
check "--user-wave" eval "run --user-wave two.raw --save wave.pat && n=\$(cmp -l saved.pat wave.pat | wc -l) && [ \$n -ge 1 ] && [ \$n -le 4 ]"
check "the saved pattern plays and saves the same" eval "run saved.pat -o loaded.raw --save resaved.pat && cmp loaded.raw pass.raw && cmp resaved.pat saved.pat"

# A pattern file's tempo sets the length of the pass: the tempo of the
# one-unit file lies 2290 bytes in; the older 212-byte layout holds it at 96.
cp saved.pat fast.pat
patch_bytes fast.pat 2290 "$(le32 150)"
check "a pattern at 150 BPM" renders fast.raw 282236 fast.pat
head -c 212 /dev/zero >old.pat
patch_bytes old.pat 96 "$(le32 60)"
check "an older pattern at 60 BPM" renders old.raw 705596 old.pat

# Songs: a song of two positions (header word 24) in song mode (word 28),
# both naming the first pattern (the second song byte is appended).
cp saved.pat song.pat
patch_bytes song.pat 24 '\x02'
patch_bytes song.pat 28 '\x01'
printf '\x00' >>song.pat
check "a song plays every position once" renders song.raw $(((2 * F - 1) * 4)) song.pat
check "two passes of the song" renders song2.raw $((4 * F * 4)) song.pat --passes 2
check "--pattern 1 overrides the song mode" renders song-pattern.raw $(((F - 1) * 4)) song.pat --pattern 1
check "--song of the start-up state, and its pattern 2, are its pattern" eval "run --song -o startup-song.raw && cmp startup-song.raw pass.raw && run --pattern 2 -o pattern2.raw && cmp pattern2.raw pass.raw"

# MIDI files: --export-midi and --save need no -o; the start-up state comes
# back from its MIDI file as one song position that plays the same; a file
# that is no MIDI file, or damaged, is refused in one line saying where.
check "--export-midi alone" eval "run --export-midi startup.mid && [ ! -e x.raw ] && head -c 4 startup.mid | grep -q MThd"
check "--import-midi: a report, the song saved and played as before" eval "'$bin' --import-midi startup.mid --save imported.pat -o imported.raw 2>stderr && grep -q '^velmor-render: imported startup.mid: 1 song position (1 pattern) at 80 BPM in 1 unit: 16 notes placed, 0 merged, 0 dropped.$' stderr && cmp imported.raw pass.raw"
check "--import-midi then --export-midi writes the same file" eval "'$bin' --import-midi startup.mid --export-midi again.mid 2>/dev/null && cmp again.mid startup.mid"
check "a damaged file's place" eval "! '$bin' --import-midi cut.mid --save x.pat 2>stderr && grep -q ': byte 18 (track 1): the chunk claims 30 bytes, but 0 follow$' stderr && [ ! -e x.pat ]"
# MIDI events: a key while the sequencer stands, then let go; a malformed
# line is refused with its number; --play runs the sequencer as Play does.
printf '# a key\n0 90 2D 64\n22050 2D 00 # running status: the key let go\n' >keys.txt
nonzero() { od -v -An -tx1 -j "$2" -N "$3" "$1" | tr -d ' 0\n'; }
check "--events: 2 s past the last event" renders keys.raw $(((22050 + 88200) * 4)) --events keys.txt
check "--events: the key sounds, and ends after it is let go" eval "[ -n \"$(nonzero keys.raw 4000 400)\" ] && [ -z \"$(nonzero keys.raw 400000 40000)\" ]"
printf '0 90 2D 64\n10 9G\n' >bad.txt
check "refused: a malformed events line, with its number" eval "refused --events bad.txt -o x.raw && grep -q 'line 2' stderr"
: >none.txt
check "--events --play with no events is playback from the start" eval "run --events none.txt --play --frames 1000 -o play.raw && cmp play.raw pass.raw -n 4000"

# MIDI clock's Start and a tick at frame 0, then a tick every 882 frames
# (125 BPM): a file at 125 BPM plays as its own tempo plays it, bit for
# bit, its first step too (its step 15 slides into step 0).
{ echo "0 FA"; for ((i = 0; i <= 300; ++i)); do echo "$((i * 882)) F8"; done; } >clock.txt
check "--events: Start and MIDI clock play a file as its own tempo does" eval "run '$at125' --events clock.txt --frames 250000 -o clocked.raw && run '$at125' --frames 250000 -o own.raw && cmp clocked.raw own.raw"

check "--midi plays an exported pattern's notes, two seconds past its end" eval "run --export-midi startup.mid && renders midi.raw $(((132300 + 88200) * 4)) --midi startup.mid && [ -n \"\$(od -v -An -tx1 -j 40000 -N 400 midi.raw | tr -d ' 0\\n')\" ]"
check "refused: --midi of a damaged file, saying where" eval "refused --midi cut.mid -o x.raw && grep -q 'byte' stderr"

echo "velmor-render: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
