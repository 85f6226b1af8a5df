#!/usr/bin/env bash
# The CLAP editor test on a display of its own (Xvfb, software OpenGL):
# at scales 1 and 2, with pictures under BUILD/editor, then opened and
# closed 200 times. Skipped (77) where no Xvfb is installed.
#
# usage: tests/plugin/editor.sh EDITOR_TEST PLUGIN.clap BUILD
set -uo pipefail
test="$1" plugin="$2" shots="$3/editor"
command -v Xvfb >/dev/null || { echo "no Xvfb: skipped"; exit 77; }
mkdir -p "$shots"
# A display number of its own, free of other runs.
display=$((200 + $$ % 300))
Xvfb ":$display" -screen 0 2200x1400x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null' EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
export DISPLAY=":$display" LIBGL_ALWAYS_SOFTWARE=1
# The user's zoom starts at 100 %.
export XDG_CONFIG_HOME="$shots/config" XDG_DATA_HOME="$shots/data"
status=0
"$test" "$plugin" 1 "$shots" || status=1
"$test" "$plugin" 2 "$shots" || status=1
"$test" --reopen 200 "$plugin" || status=1
exit $status
