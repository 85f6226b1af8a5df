#!/usr/bin/env bash
# Builds libsoxr for the Windows plugins from Debian's source package: a
# static library without OpenMP for each MinGW-w64 target, installed into
# build/soxr-<arch>/ (include/soxr.h, lib/libsoxr.a), where the Windows
# builds find it (VELMOR_SOXR_DIR). A library already there is kept.
#
# usage: scripts/build-soxr-windows.sh [ARCH...]   (default: x86_64 i686)
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
arches=("$@")
[ "${#arches[@]}" -gt 0 ] || arches=(x86_64 i686)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

# Debian's source of libsoxr, fetched once; apt needs a deb-src entry for it.
source_dir() {
    find build/soxr-source -mindepth 1 -maxdepth 1 -type d -name '*soxr-[0-9]*' 2>/dev/null | sort | tail -n 1
}
if [ -z "$(source_dir)" ]; then
    if ! apt-cache showsrc libsoxr 2>/dev/null | grep -q "^Package: libsoxr"; then
        $SUDO tee /etc/apt/sources.list.d/velmor-deb-src.sources >/dev/null <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
        $SUDO apt-get update -qq
    fi
    rm -rf build/soxr-source
    mkdir -p build/soxr-source
    (cd build/soxr-source && apt-get source -qq libsoxr >/dev/null)
fi
src="$(source_dir)"
[ -f "$src/CMakeLists.txt" ] || { echo "build-soxr-windows: no libsoxr source in build/soxr-source"; exit 1; }

for arch in "${arches[@]}"; do
    prefix="$root/build/soxr-$arch"
    [ -f "$prefix/lib/libsoxr.a" ] && continue
    echo "== libsoxr for Windows $arch"
    cmake -S "$src" -B "build/soxr-build-$arch" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DBUILD_SHARED_LIBS=OFF -DWITH_OPENMP=OFF -DWITH_LSR_BINDINGS=OFF \
        -DBUILD_TESTS=OFF -DBUILD_EXAMPLES=OFF >/dev/null
    cmake --build "build/soxr-build-$arch"
    cmake --install "build/soxr-build-$arch" >/dev/null
done
