#!/usr/bin/env bash
# Starts the synthesizer. Until the Windows program exists, this renders the
# start-up pattern with velmor-render into a WAVE file and says where.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/native >/dev/null
out="$PWD/build/velmor-startup.wav"
build/native/tools/velmor-render --wav --passes 4 -o "$out"
echo "The Windows program is not built yet. Velmor rendered four passes of its start-up"
echo "pattern to $out (16-bit stereo, 44100 Hz)."
echo "Render your own: build/native/tools/velmor-render --help"
