#!/usr/bin/env bash
# The demo pattern files are what the generator writes, byte for byte (how
# they play is tested in demos_test.cpp and, from the release zip, end to end).
#
# usage: demos_test.sh PATH/TO/velmor-make-demos DEMO-FOLDER
set -u
make_demos="$1" demos="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$make_demos" "$work" >/dev/null || { echo "FAILED: velmor-make-demos"; exit 1; }
if [ "$(cd "$demos" && ls)" = "$(cd "$work" && ls)" ] && diff -r "$work" "$demos" >/dev/null; then
    echo "demo files: made byte for byte"
else
    echo "FAILED: the generator does not write exactly the files in demos/"
    exit 1
fi
