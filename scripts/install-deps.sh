#!/usr/bin/env bash
# Installs what building and testing Velmor needs on Debian 12: the native
# toolchain with GoogleTest, the i686 MinGW-w64 cross
# compiler, Wine (32-bit, with the X client libraries its display driver
# loads) for running the Windows programs, PulseAudio for recording what they
# play, and a virtual display (Xvfb) with the X and ImageMagick tools that
# the window test uses to find windows and take screenshots, and Python for
# packaging the release zip and checking it, with mido for reading the MIDI
# files the tests export. For the plugins: the plugin framework's source,
# libsoxr, the LV2 validator, the x86_64 MinGW-w64 cross compiler and
# 64-bit Wine, and dpkg-dev for fetching libsoxr's source for the Windows
# builds; Ardour 7 (its Lua session tool and command-line export) and jalv
# with JACK (its dummy driver needs no sound card), the hosts the plugins
# are checked in; OpenGL and the X libraries the editor is drawn with, and
# XTest and xdotool that click in it; PulseAudio's, ALSA's and JACK's
# development files for the stand-alone program and the test's JACK client;
# clang-format for the code's layout.
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

# What the Linux build needs, which `install-deps.sh build` installs alone
# (the test command builds while the rest installs).
build_packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev
  dpf-source lv2-dev libsoxr-dev
  libgl-dev libx11-dev libxext-dev libxrandr-dev libxcursor-dev libxtst-dev
  libpulse-dev libasound2-dev libjack-jackd2-dev
)
packages=(
  "${build_packages[@]}"
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  wine wine32:i386 fonts-wine
  pulseaudio pulseaudio-utils
  xvfb x11-utils imagemagick xdotool
  python3 python3-mido
  ardour jalv jackd2
  libxrender1:i386 libxrandr2:i386 libxi6:i386 libxcursor1:i386 libxcomposite1:i386 libxinerama1:i386
  libxfixes3:i386
  lilv-utils sordi
  g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 wine64 dpkg-dev xz-utils
  clang-format
)

if [ "${1:-}" = build ]; then packages=("${build_packages[@]}"); fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
# No manual-page index to rebuild, and no sync after every file unpacked:
# the installation takes far less time so.
echo "man-db man-db/auto-update boolean false" | $SUDO debconf-set-selections
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq -o Dpkg::Options::=--force-unsafe-io "${missing[@]}" >/dev/null
