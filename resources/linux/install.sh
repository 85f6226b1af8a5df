#!/bin/sh
# Installs Velmor for the present user: the programs into ~/.local/bin, the
# menu entry and its icon where desktops look for them. Run it from the
# unpacked folder; nothing outside the home folder changes.
set -eu
here="$(cd "$(dirname "$0")" && pwd)"
bin="$HOME/.local/bin"
data="${XDG_DATA_HOME:-$HOME/.local/share}"
mkdir -p "$bin" "$data/applications" "$data/icons/hicolor/48x48/apps"
cp "$here/velmor-standalone" "$here/velmor-render" "$bin/"
sed "s|^Exec=.*|Exec=$bin/velmor-standalone|" "$here/velmor.desktop" >"$data/applications/velmor.desktop"
cp "$here/velmor.png" "$data/icons/hicolor/48x48/apps/velmor.png"
echo "Velmor is installed: start it from the desktop's menu, or as $bin/velmor-standalone"
