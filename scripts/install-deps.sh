#!/usr/bin/env bash
# Installs the Debian 12 packages Tonvera needs to build, run and test. Only missing packages are
# installed, so a second run changes nothing. Works as root, or as a user through sudo.
set -euo pipefail

packages=(
    # build
    g++ cmake ninja-build pkg-config clang-format git ccache dpkg-dev
    # libraries
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libavformat-dev libavcodec-dev libswresample-dev libavutil-dev libavfilter-dev
    librubberband-dev libsoundtouch-dev libsdl2-dev libplist-dev libplist++-dev zlib1g-dev
    # tests and benchmarks
    libgtest-dev libgmock-dev libbenchmark-dev python3 soundstretch rubberband-cli ffmpeg
    dbus-daemon desktop-file-utils
    # fuzz targets (libFuzzer and the sanitizer runtimes)
    clang libclang-rt-14-dev
    # looking at the program headless
    xvfb xauth xdotool imagemagick sox fonts-dejavu-core
)

missing=()
for pkg in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$pkg")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: everything is installed"
    exit 0
fi

echo "install-deps: installing ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
    sudo=()
elif command -v sudo >/dev/null; then
    sudo=(sudo)
else
    echo "install-deps: need root or sudo to install: ${missing[*]}" >&2
    exit 1
fi
"${sudo[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
