#!/usr/bin/env bash
# Builds the Windows target and writes the release a Windows user downloads:
#
#   build/velmor-VERSION-win32.zip
#     velmor-VERSION/velmor.exe            the synthesizer
#     velmor-VERSION/velmor-render.exe     the command-line renderer
#     velmor-VERSION/demos/*.pat           the demo pattern files
#     velmor-VERSION/manual/manual.md      the user's manual, with its pictures
#     velmor-VERSION/LICENSE.txt           Velmor's licence
#     velmor-VERSION/THIRD-PARTY-NOTICES.txt  the notices of the runtime linked in
#
# VERSION comes from the file VERSION. The programs are stripped of their
# symbols; the text files get Windows line ends. Every entry carries the time
# of the last commit, so the same sources give the same archive.
#
# usage: scripts/package.sh [BUILD-DIR]   (default build/windows; it is
#        configured first when it holds no build yet)
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
build="${1:-build/windows}"

say() { echo "package: $*"; }
die() {
    say "$*" >&2
    exit 1
}

version="$(head -n 1 VERSION)"
[[ "$version" =~ ^[0-9]+\.[0-9]+$ ]] || die "VERSION holds '$version', not MAJOR.MINOR"
for tool in cmake ninja i686-w64-mingw32-strip python3; do
    command -v "$tool" >/dev/null || die "$tool is missing (scripts/install-deps.sh installs it)"
done

if [ ! -f "$build/build.ninja" ]; then
    say "configuring the Windows build in $build"
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
fi
cmake --build "$build" -j "${VELMOR_JOBS:-2}" --target velmor velmor-render >/dev/null || die "the Windows build failed"

name="velmor-$version"
stage="build/package/$name"
rm -rf build/package
mkdir -p "$stage/demos" "$stage/manual"
for program in app/velmor.exe tools/velmor-render.exe; do
    i686-w64-mingw32-strip -o "$stage/$(basename "$program")" "$build/$program"
done
cp demos/*.pat "$stage/demos/"
cp docs/manual.md "$stage/manual/"
# The pictures the manual shows.
grep -oE '\]\([A-Za-z0-9_.-]+\.png\)' docs/manual.md | sed -E 's/^\]\((.*)\)$/\1/' | sort -u | while read -r picture; do
    cp "docs/$picture" "$stage/manual/" || die "docs/manual.md shows $picture, which docs/ lacks"
done
cp LICENSE "$stage/LICENSE.txt"
cp THIRD-PARTY-NOTICES.txt "$stage/"

stamp="$(git log -1 --format=%ct 2>/dev/null || true)"
zip="build/$name-win32.zip"
rm -f build/velmor-*-win32.zip  # only the present version's archive stays
python3 - "$stage" "$zip" "${stamp:-1767225600}" <<'EOF'
import os
import sys
import time
import zipfile

stage, out, stamp = sys.argv[1], sys.argv[2], int(sys.argv[3])
top = os.path.dirname(stage)
when = time.gmtime(max(stamp, 315532800))[:6]  # a zip entry's time starts in 1980
text = ('.txt', '.md')
paths = []
for folder, dirs, files in os.walk(stage):
    dirs.sort()
    paths += [os.path.join(folder, f) for f in sorted(files)]
with zipfile.ZipFile(out + '.part', 'w', zipfile.ZIP_DEFLATED, compresslevel=9) as z:
    for path in paths:
        data = open(path, 'rb').read()
        if path.endswith(text):
            data = data.replace(b'\r\n', b'\n').replace(b'\n', b'\r\n')
        entry = zipfile.ZipInfo(os.path.relpath(path, top).replace(os.sep, '/'), when)
        entry.compress_type = zipfile.ZIP_DEFLATED
        entry.external_attr = (0o755 if path.endswith('.exe') else 0o644) << 16
        z.writestr(entry, data)
os.replace(out + '.part', out)
EOF
say "wrote $zip ($(wc -c <"$zip" | tr -d ' ') bytes)"
