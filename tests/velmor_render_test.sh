#!/usr/bin/env bash
# The command line of velmor-render: its errors, its output sizes, --frames,
# --passes, --wav and --save.
#
# usage: velmor_render_test.sh PATH/TO/velmor-render
set -u

bin="${1:?usage: velmor_render_test.sh PATH/TO/velmor-render}"
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
refusals=("" "-o" "--wav" "missing.pat -o x.raw" ". -o x.raw" "short.pat -o x.raw" "-o no/such/folder/x.raw"
    "--loud -o x.raw" "-o x.raw --frames" "-o x.raw --frames 12x" "-o x.raw --frames -5"
    "-o x.raw --frames 99999999999999999999" "-o x.raw --passes two" "-o x.raw --frames 10 --passes 1"
    "short.pat short.pat -o x.raw" "--save no/such/folder/x.pat -o x.raw" "--wav --frames 1099511627776 -o x.wav")
[ -w /dev/full ] && refusals+=("-o /dev/full")
for args in "${refusals[@]}"; do
    # shellcheck disable=SC2086
    check "refused: velmor-render $args" refused $args
done
check "--help" eval "'$bin' --help | grep -q '^usage: velmor-render'"

# One pass at 80 BPM (the start-up tempo): F = 16 x 8268 frames, F - 1 written.
F=132288
check "one pass" run -o pass.raw
check "one pass: size" size_is pass.raw $(((F - 1) * 4))
check "--frames 0" run -o none.raw --frames 0
check "--frames 0: size" size_is none.raw 0
check "--passes 2" run -o passes.raw --passes 2
check "--passes 2: size" size_is passes.raw $((2 * F * 4))
check "one pass as the start of --passes 2" cmp -n $(((F - 1) * 4)) pass.raw passes.raw
check "--frames" run -o frames.raw --frames $((F + 1000))
check "--frames as the start of --passes 2" cmp -n $(((F + 1000) * 4)) frames.raw passes.raw
check "--frames: size" size_is frames.raw $(((F + 1000) * 4))

# --wav: the RIFF header, then the same frames.
printf "RIFF$(le32 $((36 + (F - 1) * 4)))WAVEfmt $(le32 16)\\x01\\x00\\x02\\x00$(le32 44100)$(le32 176400)\\x04\\x00\\x10\\x00data$(le32 $(((F - 1) * 4)))" >header.bin
check "--wav" run -o pass.wav --wav
check "the WAVE header" cmp -n 44 pass.wav header.bin
check "the WAVE frames" cmp -i 44:0 pass.wav pass.raw

# --save: the start-up state's pattern file, which loads back to the same sound.
check "--save" run --save saved.pat -o saved-pass.raw
check "--save: size" size_is saved.pat 2359
check "the pass beside --save" cmp saved-pass.raw pass.raw
check "rendering the saved pattern" run saved.pat -o loaded.raw --save resaved.pat
check "the saved pattern's pass" cmp loaded.raw pass.raw
check "saving the loaded pattern again" cmp resaved.pat saved.pat

# A pattern file's tempo sets the length of the pass: the tempo of the
# one-unit file lies 2290 bytes in; the older 212-byte layout holds it at 96.
cp saved.pat fast.pat
patch_bytes fast.pat 2290 "$(le32 150)"
check "a pattern at 150 BPM" run fast.pat -o fast.raw
check "a pattern at 150 BPM: size" size_is fast.raw 282236
head -c 212 /dev/zero >old.pat
patch_bytes old.pat 96 "$(le32 60)"
check "an older pattern at 60 BPM" run old.pat -o old.raw
check "an older pattern at 60 BPM: size" size_is old.raw 705596

# Songs: the song mode bit (header byte 28) and a song of two positions,
# both naming pattern 1 (the song length is header word 24, the one song
# byte follows the step planes; a second one is appended).
cp "$work/saved.pat" "$work/song.pat"
patch_bytes "$work/song.pat" 24 "$(le16 2)"
patch_bytes "$work/song.pat" 28 "$(le16 1)"
printf '\x00' >>"$work/song.pat"
expect_success "a song of two positions" "$work/song.pat" -o "$work/song.raw"
expect_size "a song of two positions: every position once" "$work/song.raw" $(((2 * 132288 - 1) * 4))
expect_success "two passes of it" "$work/song.pat" -o "$work/song2.raw" --passes 2
expect_size "two passes of the song" "$work/song2.raw" $((2 * 2 * 132288 * 4))
expect_success "--pattern 1 overrides the song mode" "$work/song.pat" --pattern 1 -o "$work/song-pattern.raw"
expect_same "--pattern 1 of the song file" "$work/song-pattern.raw" "$work/pass.raw"
expect_success "--song on the start-up state" --song -o "$work/startup-song.raw"
expect_same "a song of one position is the pattern" "$work/startup-song.raw" "$work/pass.raw"
expect_success "--pattern 2" --pattern 2 -o "$work/pattern2.raw"
expect_same "pattern 2 holds the start values like pattern 1" "$work/pattern2.raw" "$work/pass.raw"
expect_error "--pattern 65" --pattern 65 -o "$work/x.raw"
expect_error "--song with --pattern" --song --pattern 1 -o "$work/x.raw"
# -o - writes the same bytes to standard output.
if "$bin" "$work/song.pat" --wav -o - >"$work/stdout.wav" 2>"$work/stderr" && [ ! -s "$work/stderr" ]; then
    pass
else
    fail "-o - exits 0 without a message"
fi
tail -c +45 "$work/stdout.wav" >"$work/stdout-data.raw"
expect_same "-o - with --wav" "$work/stdout-data.raw" "$work/song.raw"

echo "velmor-render: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
