#!/usr/bin/env bash
# Starts the synthesizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/native
echo "The Windows program velmor.exe is not built yet: this version holds the sound engine,"
echo "its tests and its tools. Run scripts/test-all.sh to check it, and"
echo "build/native/tools/velmor-bench to measure its speed."
