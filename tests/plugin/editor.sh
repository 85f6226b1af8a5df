#!/usr/bin/env bash
# A test host's editor checks on a display of its own (Xvfb, software
# OpenGL): at scales 1 and 2, with pictures PICTURES-1x.ppm and
# PICTURES-2x.ppm, then opened and closed 200 times. Skipped (77) where no
# Xvfb is installed.
#
# usage: tests/plugin/editor.sh HOST PLUGIN PICTURES
set -uo pipefail
host="$1" plugin="$2" pictures="$3"
command -v Xvfb >/dev/null || { echo "no Xvfb: skipped"; exit 77; }
mkdir -p "$(dirname "$pictures")"
# A display number of its own, free of other runs.
display=$((200 + $$ % 500))
while [ -e "/tmp/.X11-unix/X$display" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 2200x1400x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null' EXIT
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
export DISPLAY=":$display" LIBGL_ALWAYS_SOFTWARE=1
# The user's zoom starts at 100 %, and no user presets.
settings="$(mktemp -d)"
trap 'kill $xvfb 2>/dev/null; rm -rf "$settings"' EXIT
export XDG_CONFIG_HOME="$settings" XDG_DATA_HOME="$settings"
status=0
"$host" --editor 1 "$pictures-1x" "$plugin" || status=1
"$host" --editor 2 "$pictures-2x" "$plugin" || status=1
"$host" --reopen 200 "$plugin" || status=1
exit $status
