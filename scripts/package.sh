#!/usr/bin/env bash
# Builds the Windows targets and writes the releases a Windows user
# downloads, the 32-bit program and the 64-bit one, with the same layout:
#
#   build/velmor-VERSION-win32.zip (and -win64.zip)
#     velmor-VERSION/velmor.exe            the synthesizer
#     velmor-VERSION/velmor-render.exe     the command-line renderer
#     velmor-VERSION/demos/*.pat           the demo pattern files
#     velmor-VERSION/presets/*/*.pat       the factory presets, a folder for each category
#     velmor-VERSION/manual/manual.md      the user's manual, with its pictures
#     velmor-VERSION/LICENSE.txt           Velmor's licence
#     velmor-VERSION/THIRD-PARTY-NOTICES.txt  the notices of the runtime linked in
#
# VERSION comes from the file VERSION. The programs are stripped of their
# symbols; the text files get Windows line ends. Every entry carries the time
# of the last commit, so the same sources give the same archive.
#
# usage: scripts/package.sh [BUILD-DIR]   (the 32-bit build, default
#        build/windows; the 64-bit one is VELMOR_WINDOWS64_BUILD, default
#        build/windows64; each is configured first when it holds no build yet)
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
build="${1:-build/windows}"
windows64="${VELMOR_WINDOWS64_BUILD:-build/windows64}"

say() { echo "package: $*"; }
die() {
    say "$*" >&2
    exit 1
}

version="$(head -n 1 VERSION)"
[[ "$version" =~ ^[0-9]+\.[0-9]+$ ]] || die "VERSION holds '$version', not MAJOR.MINOR"
for tool in cmake ninja i686-w64-mingw32-strip x86_64-w64-mingw32-strip python3; do
    command -v "$tool" >/dev/null || die "$tool is missing (scripts/install-deps.sh installs it)"
done
stamp="$(git log -1 --format=%ct 2>/dev/null || true)"
name="velmor-$version"
rm -rf build/package
rm -f build/velmor-*-win32.zip build/velmor-*-win64.zip  # only the present version's archives stay

# ARCH BUILD TOOLCHAIN STRIP: one program zip, build/velmor-VERSION-ARCH.zip.
program_zip() {
    local arch="$1" dir="$2" toolchain="$3" strip="$4"
    if [ ! -f "$dir/build.ninja" ]; then
        say "configuring the Windows build in $dir"
        cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$toolchain" >/dev/null
    fi
    cmake --build "$dir" -j "${VELMOR_JOBS:-2}" --target velmor velmor-render >/dev/null || die "the Windows build in $dir failed"
    local stage="build/package/$arch/$name"
    mkdir -p "$stage/demos" "$stage/manual"
    for program in app/velmor.exe tools/velmor-render.exe; do
        "$strip" -o "$stage/$(basename "$program")" "$dir/$program"
    done
    cp demos/*.pat "$stage/demos/"
    local category
    for category in resources/presets/*/; do
        category="$(basename "$category")"
        mkdir -p "$stage/presets/$category"
        cp resources/presets/"$category"/*.pat "$stage/presets/$category/"
    done
    cp docs/manual.md "$stage/manual/"
    # The pictures the manual shows.
    grep -oE '\]\([A-Za-z0-9_.-]+\.png\)' docs/manual.md | sed -E 's/^\]\((.*)\)$/\1/' | sort -u | while read -r picture; do
        cp "docs/$picture" "$stage/manual/" || die "docs/manual.md shows $picture, which docs/ lacks"
    done
    cp LICENSE "$stage/LICENSE.txt"
    cp THIRD-PARTY-NOTICES.txt "$stage/"
    local zip="build/$name-$arch.zip"
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
}
program_zip win32 "$build" cmake/mingw-i686.cmake i686-w64-mingw32-strip
program_zip win64 "$windows64" cmake/mingw-x86_64.cmake x86_64-w64-mingw32-strip

# The plugins: a zip for each platform with its formats, the install notes
# and the notices (libsoxr's licence with them):
#
#   build/velmor-VERSION-plugins-linux-x86_64.zip   CLAP, VST3, LV2
#   build/velmor-VERSION-plugins-windows-x64.zip    CLAP, VST3
#   build/velmor-VERSION-plugins-windows-x86.zip    CLAP, VST3
#
# from the Linux build (VELMOR_NATIVE_BUILD, default build/native), the
# Windows x64 build (VELMOR_WINDOWS64_BUILD, default build/windows64) and
# the Windows x86 build above, each configured here when it holds no build.
native="${VELMOR_NATIVE_BUILD:-build/native}"
scripts/build-soxr-windows.sh >/dev/null || die "libsoxr for Windows could not be built"
plugin_build() {
    local dir="$1"
    shift
    # A build folder already made is brought up to date by the build itself.
    { [ -f "$dir/build.ninja" ] || cmake -S . -B "$dir" -G Ninja --no-warn-unused-cli -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null; } &&
        cmake --build "$dir" -j "${VELMOR_JOBS:-2}" --target velmor_plugins >/dev/null || die "the plugin build in $dir failed"
}
plugin_build "$native"
plugin_build "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
plugin_build "$windows64" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake

rm -f build/velmor-*-plugins-*.zip
# PLATFORM BUILD STRIP VST3-ARCH [LV2]: stages and zips one platform's plugins.
plugin_zip() {
    local platform="$1" dir="$2" strip="$3" arch="$4" lv2="${5:-}"
    local folder="velmor-$version-plugins-$platform"
    local stage="build/package/$folder" binary
    rm -rf "$stage"
    mkdir -p "$stage/Velmor.vst3/Contents/$arch"
    "$strip" --strip-unneeded -o "$stage/Velmor.clap" "$dir/bin/Velmor.clap"
    for binary in "$dir/bin/Velmor.vst3/Contents/$arch"/*; do
        "$strip" --strip-unneeded -o "$stage/Velmor.vst3/Contents/$arch/${binary##*/}" "$binary"
    done
    if [ -n "$lv2" ]; then
        mkdir -p "$stage/Velmor.lv2"
        cp "$dir"/bin/Velmor.lv2/*.ttl "$stage/Velmor.lv2/"
        "$strip" --strip-unneeded -o "$stage/Velmor.lv2/Velmor.so" "$dir/bin/Velmor.lv2/Velmor.so"
    fi
    sed "s/VERSION/$version/g" plugin/INSTALL.txt >"$stage/INSTALL.txt"
    cp LICENSE "$stage/LICENSE.txt"
    cp plugin/THIRD-PARTY-NOTICES.txt "$stage/PLUGIN-NOTICES.txt"
    cp /usr/share/common-licenses/LGPL-2.1 "$stage/LGPL-2.1.txt"
    [ "$platform" = linux-x86_64 ] || cp THIRD-PARTY-NOTICES.txt "$stage/"
    python3 - "$stage" "build/$folder.zip" "${stamp:-1767225600}" "$platform" <<'PY'
import os, sys, time, zipfile

stage, out, stamp, platform = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
when = time.gmtime(max(stamp, 315532800))[:6]
paths = sorted(os.path.join(folder, f) for folder, _, files in os.walk(stage) for f in files)
with zipfile.ZipFile(out + '.part', 'w', zipfile.ZIP_DEFLATED, compresslevel=9) as z:
    for path in paths:
        data = open(path, 'rb').read()
        if path.endswith('.txt') and platform.startswith('windows'):
            data = data.replace(b'\r\n', b'\n').replace(b'\n', b'\r\n')
        entry = zipfile.ZipInfo(os.path.relpath(path, os.path.dirname(stage)).replace(os.sep, '/'), when)
        entry.compress_type = zipfile.ZIP_DEFLATED
        entry.external_attr = (0o644 if path.endswith(('.txt', '.ttl')) else 0o755) << 16
        z.writestr(entry, data)
os.replace(out + '.part', out)
PY
    say "wrote build/$folder.zip ($(wc -c <"build/$folder.zip" | tr -d ' ') bytes)"
}
plugin_zip linux-x86_64 "$native" strip x86_64-linux lv2
plugin_zip windows-x64 "$windows64" x86_64-w64-mingw32-strip x86_64-win
plugin_zip windows-x86 "$build" i686-w64-mingw32-strip x86-win

# The stand-alone program for Linux, from the Linux build:
#
#   build/velmor-VERSION-linux-x86_64.tar.gz
#     velmor-VERSION/velmor-standalone     the synthesizer (JACK, or PulseAudio straight)
#     velmor-VERSION/velmor-render         the command-line renderer
#     velmor-VERSION/velmor.desktop        the desktop's menu entry, and its icon velmor.png
#     velmor-VERSION/install.sh            installs those for the user (~/.local)
#     velmor-VERSION/demos, presets, manual, LICENSE.txt, PROGRAM-NOTICES.txt
rm -f build/velmor-*-linux-x86_64.tar.gz
cmake --build "$native" -j "${VELMOR_JOBS:-2}" --target velmor-standalone velmor-render >/dev/null \
    || die "the Linux program build in $native failed"
stage="build/package/linux/$name"
mkdir -p "$stage/demos" "$stage/manual"
strip --strip-unneeded -o "$stage/velmor-standalone" "$native/bin/velmor-standalone"
strip -o "$stage/velmor-render" "$native/tools/velmor-render"
cp resources/linux/velmor.desktop resources/linux/install.sh "$stage/"
convert 'resources/velmor.ico[0]' -strip "$stage/velmor.png" || die "the icon could not be made"
cp demos/*.pat "$stage/demos/"
for category in resources/presets/*/; do
    mkdir -p "$stage/presets/$(basename "$category")"
    cp "$category"*.pat "$stage/presets/$(basename "$category")/"
done
cp docs/manual.md "$stage/manual/"
grep -oE '\]\([A-Za-z0-9_.-]+\.png\)' docs/manual.md | sed -E 's/^\]\((.*)\)$/\1/' | sort -u | while read -r picture; do
    cp "docs/$picture" "$stage/manual/"
done
cp LICENSE "$stage/LICENSE.txt"
cp plugin/THIRD-PARTY-NOTICES.txt "$stage/PROGRAM-NOTICES.txt"
tarball="build/$name-linux-x86_64.tar.gz"
python3 - "$stage" "$tarball" "${stamp:-1767225600}" <<'PY'
import gzip, io, os, sys, tarfile

stage, out, stamp = sys.argv[1], sys.argv[2], int(sys.argv[3])
top = os.path.dirname(stage)
executable = ('velmor-standalone', 'velmor-render', 'install.sh')
buffer = io.BytesIO()
with tarfile.open(fileobj=buffer, mode='w', format=tarfile.PAX_FORMAT) as tar:
    for folder, dirs, files in os.walk(stage):
        dirs.sort()
        for f in sorted(files):
            path = os.path.join(folder, f)
            info = tarfile.TarInfo(os.path.relpath(path, top))
            info.size, info.mtime = os.path.getsize(path), stamp
            info.mode = 0o755 if f in executable else 0o644
            info.uname = info.gname = 'velmor'
            with open(path, 'rb') as data:
                tar.addfile(info, data)
with open(out + '.part', 'wb') as raw, gzip.GzipFile(fileobj=raw, mode='wb', mtime=stamp, filename='') as z:
    z.write(buffer.getvalue())
os.replace(out + '.part', out)
PY
say "wrote $tarball ($(wc -c <"$tarball" | tr -d ' ') bytes)"
