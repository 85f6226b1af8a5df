#!/usr/bin/env bash
# A test host's editor checks on a display of its own (Xvfb, software
# OpenGL): at scales 1 and 2, with pictures PICTURES-1x.ppm and
# PICTURES-2x.ppm, then opened and closed TIMES times (200 unless given). Skipped (77) where no
# Xvfb is installed.
#
# With --cpu, its processor time open and idle, and open while playing
# (printed, not checked).
#
# usage: tests/plugin/editor.sh HOST PLUGIN PICTURES [TIMES]
#        tests/plugin/editor.sh --cpu HOST PLUGIN
set -uo pipefail
cpu=no
if [ "${1:-}" = --cpu ]; then cpu=yes && shift; fi
host="$1" plugin="$2" pictures="${3:-}" times="${4:-200}"
command -v Xvfb >/dev/null || { echo "no Xvfb: skipped"; exit 77; }
[ -z "$pictures" ] || mkdir -p "$(dirname "$pictures")"
# A display of its own: Xvfb takes a free number and says which (tests
# running side by side each get theirs).
displayfile="$(mktemp)"
Xvfb -displayfd 3 -screen 0 2200x1400x24 -nolisten tcp 3>"$displayfile" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$displayfile" ] && break; sleep 0.1; done
display="$(head -n 1 "$displayfile")"
rm -f "$displayfile"
export DISPLAY=":$display" LIBGL_ALWAYS_SOFTWARE=1
# The user's zoom starts at 100 %, and no user presets.
settings="$(mktemp -d)"
trap 'kill $xvfb 2>/dev/null; rm -rf "$settings"' EXIT
export XDG_CONFIG_HOME="$settings" XDG_DATA_HOME="$settings"
if [ "$cpu" = yes ]; then
    "$host" --editor-cpu 2 "$plugin" | grep -v "every check passed"
    exit "${PIPESTATUS[0]}"
fi
status=0
"$host" --editor 1 "$pictures-1x" "$plugin" || status=1
"$host" --editor 2 "$pictures-2x" "$plugin" || status=1
"$host" --reopen "$times" "$plugin" || status=1
exit $status
