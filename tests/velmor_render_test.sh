#!/usr/bin/env bash
# The command line of velmor-render: its errors, its output sizes, --frames,
# --passes, --wav and --save.
#
# usage: velmor_render_test.sh PATH/TO/velmor-render
set -u

bin="${1:?usage: velmor_render_test.sh PATH/TO/velmor-render}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

passed=0
failed=0
pass() { passed=$((passed + 1)); }
fail() {
    failed=$((failed + 1))
    echo "FAILED: $*"
}

size() { wc -c <"$1" | tr -d ' '; }

# Little-endian bytes as printf escapes.
le16() { printf '\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)); }
le32() { printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)); }

# Overwrites bytes of a file at an offset.
patch_bytes() {
    local file="$1" offset="$2" escapes="$3"
    printf "$escapes" | dd of="$file" bs=1 seek="$offset" conv=notrunc status=none
}

# Runs the program and expects a refusal: a non-zero status, exactly one
# line on stderr and nothing on stdout.
expect_error() {
    local what="$1"
    shift
    "$bin" "$@" >"$work/stdout" 2>"$work/stderr"
    local status=$?
    local lines
    lines="$(wc -l <"$work/stderr" | tr -d ' ')"
    if [ "$status" -eq 0 ]; then
        fail "$what: exit status 0"
    elif [ "$lines" -ne 1 ] || [ ! -s "$work/stderr" ]; then
        fail "$what: $lines lines on stderr: $(cat "$work/stderr")"
    elif [ -s "$work/stdout" ]; then
        fail "$what: wrote to stdout"
    else
        pass
    fi
}

# Runs the program and expects success without a word on stderr.
expect_success() {
    local what="$1"
    shift
    if "$bin" "$@" >"$work/stdout" 2>"$work/stderr" && [ ! -s "$work/stderr" ]; then
        pass
        return 0
    fi
    fail "$what: $(cat "$work/stderr")"
    return 1
}

expect_size() {
    local what="$1" file="$2" bytes="$3"
    if [ -f "$file" ] && [ "$(size "$file")" -eq "$bytes" ]; then
        pass
    else
        fail "$what: $file has $( [ -f "$file" ] && size "$file" || echo no) bytes, expected $bytes"
    fi
}

expect_same() {
    local what="$1"
    shift
    if cmp "$@" >/dev/null 2>&1; then pass; else fail "$what: $(cmp "$@" 2>&1 | head -1)"; fi
}

# One pass at 80 BPM (the start-up tempo): F = 16 x 8268 frames.
F=132288
one_pass=$(((F - 1) * 4))

# --- Refusals -------------------------------------------------------------
printf 'V1.0A\0only part of a header' >"$work/short.pat"
expect_error "no arguments"
expect_error "-o without a file" -o
expect_error "no output" --wav
expect_error "missing pattern file" "$work/missing.pat" -o "$work/x.raw"
expect_error "a folder for the pattern file" "$work" -o "$work/x.raw"
expect_error "pattern file ending inside its header" "$work/short.pat" -o "$work/x.raw"
expect_error "output in a missing folder" -o "$work/no/such/folder/x.raw"
expect_error "unknown option" --loud -o "$work/x.raw"
expect_error "--frames without a number" -o "$work/x.raw" --frames
expect_error "--frames with letters" -o "$work/x.raw" --frames abc
expect_error "--frames with trailing letters" -o "$work/x.raw" --frames 12x
expect_error "--frames negative" -o "$work/x.raw" --frames -5
expect_error "--frames beyond 2^40" -o "$work/x.raw" --frames 99999999999999999999
expect_error "--passes with letters" -o "$work/x.raw" --passes two
expect_error "--frames and --passes" -o "$work/x.raw" --frames 10 --passes 1
expect_error "two pattern files" "$work/short.pat" "$work/short.pat" -o "$work/x.raw"
expect_error "--save in a missing folder" --save "$work/no/such/folder/x.pat" -o "$work/x.raw"
expect_error "a WAVE file over 4 GiB" --wav --frames 1099511627776 -o "$work/x.wav"
if [ -w /dev/full ]; then
    expect_error "a full disk" -o /dev/full
fi

# --- Help -----------------------------------------------------------------
if "$bin" --help >"$work/help" 2>"$work/stderr" && grep -q '^usage: velmor-render' "$work/help" && [ ! -s "$work/stderr" ]; then
    pass
else
    fail "--help"
fi

# --- Output ---------------------------------------------------------------
expect_success "one pass" -o "$work/pass.raw"
expect_size "one pass" "$work/pass.raw" "$one_pass"

frames=$((F + 1000))
expect_success "--frames $frames" -o "$work/frames.raw" --frames "$frames"
expect_size "--frames $frames" "$work/frames.raw" $((frames * 4))
expect_same "one pass as the start of --frames" -n "$one_pass" "$work/pass.raw" "$work/frames.raw"
expect_success "--frames 1000" -o "$work/short.raw" --frames 1000
expect_same "--frames 1000 as the start of one pass" -n 4000 "$work/short.raw" "$work/pass.raw"
expect_success "--frames 0" -o "$work/none.raw" --frames 0
expect_size "--frames 0" "$work/none.raw" 0

expect_success "--passes 2" -o "$work/passes.raw" --passes 2
expect_size "--passes 2" "$work/passes.raw" $((2 * F * 4))
expect_same "--frames as the start of --passes 2" -n $((frames * 4)) "$work/frames.raw" "$work/passes.raw"

# --wav: the RIFF header, then the same frames.
expect_success "--wav" -o "$work/pass.wav" --wav
printf "RIFF$(le32 $((36 + one_pass)))WAVEfmt $(le32 16)$(le16 1)$(le16 2)$(le32 44100)$(le32 176400)$(le16 4)$(le16 16)data$(le32 "$one_pass")" >"$work/header.bin"
expect_size "the WAVE header" "$work/header.bin" 44
expect_same "the WAVE header" -n 44 "$work/pass.wav" "$work/header.bin"
tail -c +45 "$work/pass.wav" >"$work/wav-data.raw"
expect_same "the WAVE frames" "$work/wav-data.raw" "$work/pass.raw"
expect_success "--wav --frames 1000" -o "$work/short.wav" --wav --frames 1000
expect_same "the WAVE header's sizes for 1000 frames" -i 4:0 -n 4 "$work/short.wav" <(printf "$(le32 4036)")
expect_same "the WAVE header's data size for 1000 frames" -i 40:0 -n 4 "$work/short.wav" <(printf "$(le32 4000)")

# --save: the start-up state's pattern file, which loads back to the same sound.
expect_success "--save" --save "$work/saved.pat" -o "$work/saved-pass.raw"
expect_size "--save" "$work/saved.pat" 2359
expect_same "the pass beside --save" "$work/saved-pass.raw" "$work/pass.raw"
expect_success "rendering the saved pattern" "$work/saved.pat" -o "$work/loaded.raw" --save "$work/resaved.pat"
expect_same "the saved pattern's pass" "$work/loaded.raw" "$work/pass.raw"
expect_same "saving the loaded pattern again" "$work/resaved.pat" "$work/saved.pat"

# A pattern file's tempo sets the length of the pass: the tempo of the
# one-unit file lies 2290 bytes in (before 4 x 16 step bytes and a song byte).
cp "$work/saved.pat" "$work/fast.pat"
patch_bytes "$work/fast.pat" 2290 "$(le32 150)"
expect_success "a pattern at 150 BPM" "$work/fast.pat" -o "$work/fast.raw"
expect_size "a pattern at 150 BPM" "$work/fast.raw" 282236
# The older 212-byte layout holds the tempo 96 bytes in.
head -c 212 /dev/zero >"$work/old.pat"
patch_bytes "$work/old.pat" 96 "$(le32 60)"
expect_success "an older pattern at 60 BPM" "$work/old.pat" -o "$work/old.raw"
expect_size "an older pattern at 60 BPM" "$work/old.raw" 705596

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
