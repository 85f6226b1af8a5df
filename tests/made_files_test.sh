#!/usr/bin/env bash
# The files a generator writes (the demos, the factory presets) are the
# committed ones, byte for byte, and no more nor fewer (how they play is
# tested in demos_test.cpp, presets_test.cpp and, from the release zip, end
# to end).
#
# usage: made_files_test.sh PATH/TO/GENERATOR FOLDER
set -u
generator="$1" folder="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$generator" "$work" >/dev/null || { echo "FAILED: ${generator##*/}"; exit 1; }
if diff -r "$work" "$folder"; then
    echo "${generator##*/}: made ${folder##*/}/ byte for byte"
else
    echo "FAILED: ${generator##*/} does not write exactly the files in ${folder##*/}/"
    exit 1
fi
