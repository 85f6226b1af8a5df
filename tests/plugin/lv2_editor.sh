#!/usr/bin/env bash
# The LV2 editor in a real LV2 host: jalv.gtk3 on a display of its own
# (Xvfb), with JACK's dummy driver. It opens at its size with the layout in
# place; a click on step 3's note switch and a drag of the cutoff knob (X
# input through xdotool) change the plugin's pattern and sound, which the
# editor draws from (pictures PICTURES-*.png). Skipped (77) where a tool is
# missing.
#
# usage: tests/plugin/lv2_editor.sh BUNDLE PICTURES
set -uo pipefail
bundle="$(cd "$1" && pwd)" pictures="$2"
for tool in Xvfb jackd jalv.gtk3 xdotool convert; do
    command -v "$tool" >/dev/null || { echo "no $tool: skipped"; exit 77; }
done
mkdir -p "$(dirname "$pictures")"
work="$(mktemp -d)"
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
# A display of its own: Xvfb takes a free number and says which (tests
# running side by side each get theirs).
displayfile="$(mktemp)"
Xvfb -displayfd 3 -screen 0 1200x800x24 -nolisten tcp 3>"$displayfile" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$displayfile" ] && break; sleep 0.1; done
display="$(head -n 1 "$displayfile")"
rm -f "$displayfile"
export DISPLAY=":$display" LIBGL_ALWAYS_SOFTWARE=1 XDG_CONFIG_HOME="$work" XDG_DATA_HOME="$work"
export JACK_DEFAULT_SERVER="velmor-test-$$" JACK_NO_AUDIO_RESERVATION=1
jackd --no-realtime -d dummy -r 44100 -p 256 >"$work/jackd.log" 2>&1 &
pids+=($!)
sleep 1
# The bundle alone where jalv looks.
mkdir -p "$work/lv2" && cp -r "$bundle" "$work/lv2/"
LV2_PATH="$work/lv2" jalv.gtk3 urn:velmor:velmor >"$work/jalv.log" 2>&1 &
pids+=($!)
window="$(timeout 20 xdotool search --sync --classname DISTRHO-Velmor | head -1)"
failed=0
fail() { echo "FAILED: $*"; failed=1; }
[ -n "$window" ] || { cat "$work/jalv.log"; echo "FAILED: the editor did not open in jalv"; exit 1; }
geometry="$(xdotool getwindowgeometry "$window")"
x0="$(sed -nE 's/.*Position: ([0-9]+),([0-9]+).*/\1/p' <<<"$geometry")"
y0="$(sed -nE 's/.*Position: ([0-9]+),([0-9]+).*/\2/p' <<<"$geometry")"
grep -q "Geometry: 1000x640" <<<"$geometry" || fail "the editor's size: $geometry"
# The colour at a point of the editor in a picture of the screen.
colour() { convert "$1" -format "%[hex:p{$((x0 + $2)),$((y0 + $3))}]" info:; }
shoot() { sleep 1.5; import -window root "$pictures-$1.png"; }
shoot opened
# Step 3's note switch (on, orange); the cutoff's value text ("49").
[ "$(colour "$pictures-opened.png" 143 476)" = FF9828 ] || fail "step 3's note switch is not where it belongs"
xdotool mousemove $((x0 + 166)) $((y0 + 476)) click 1
xdotool mousemove $((x0 + 434)) $((y0 + 176)) mousedown 1 sleep 0.2 mousemove $((x0 + 434)) $((y0 + 151)) \
    sleep 0.2 mousemove $((x0 + 434)) $((y0 + 126)) sleep 0.2 mouseup 1
shoot edited
[ "$(colour "$pictures-edited.png" 143 476)" = 3E424A ] || fail "a click did not switch step 3's note off"
cut() { convert "$1" -crop "60x14+$((x0 + 404))+$((y0 + 194))" +repage -format '%#' info:; }
[ "$(cut "$pictures-opened.png")" != "$(cut "$pictures-edited.png")" ] || fail "the drag did not change the cutoff"
kill -0 "${pids[2]}" 2>/dev/null || fail "jalv ended"
[ "$failed" = 0 ] && echo "lv2 editor in jalv: every check passed"
exit $failed
