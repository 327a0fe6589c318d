#!/usr/bin/env bash
# Installs everything the builds, tests, demo and benchmarks need on Debian 12, as root.
# Safe to run again: it installs only what is missing.
set -euo pipefail

packages=(
    cmake g++ make pkg-config clang libclang-rt-dev
    googletest libgtest-dev libbenchmark-dev
    libpng-dev libpixman-1-dev libsdl2-dev zlib1g-dev libxxhash-dev
    libstb-dev libcli11-dev nlohmann-json3-dev libboost-dev
    g++-mingw-w64-i686-win32 g++-mingw-w64-i686-posix binutils-mingw-w64-i686 libz-mingw-w64-dev
    wine wine32:i386
    g++-mingw-w64-x86-64-win32 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64
    zip unzip llvm lld
    lintian dpkg-dev file pandoc man-db
    chromium chromium-driver
)
# Node and npm run the browser test of velkano-replay --serve's page; the machines come with them.
command -v npm >/dev/null || packages+=(nodejs npm)

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    need_update=1
fi

# The ARM64 Linux cross build, run under qemu-user: the cross compiler and binutils, and Debian's
# arm64 packages beside the native ones (multiarch): zlib for the capture variant, and the C++
# runtime that dpkg-shlibdeps reads the ARM64 packages' dependencies from.
packages+=(g++-aarch64-linux-gnu binutils-aarch64-linux-gnu qemu-user zlib1g-dev:arm64 libstdc++6:arm64)
if ! dpkg --print-foreign-architectures | grep -qx arm64; then
    dpkg --add-architecture arm64
    need_update=1
fi

# OSMesa's development package carries its soname in its name (libosmesa6-dev on Debian 12):
# the newest one apt knows.
osmesa() { apt-cache pkgnames libosmesa 2>/dev/null | grep -x 'libosmesa[0-9]*-dev' | sort -V | tail -1; }
[ -n "$(osmesa)" ] || apt-get update -qq
if [ -n "$(osmesa)" ]; then
    packages+=("$(osmesa)")
else
    echo "install-deps: no OSMesa package here: configure with -DVELKANO_BUILD_BENCHMARKS=OFF" >&2
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ] || [ -n "${need_update:-}" ]; then
    echo "install-deps: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# playwright-core for that test, from the lock file, using Debian's chromium (no browser download).
browser_test="$(dirname "$0")/../tests/replay/browser"
if [ ! -d "$browser_test/node_modules" ] || [ "$browser_test/package-lock.json" -nt "$browser_test/node_modules" ]; then
    echo "install-deps: npm ci in $browser_test"
    (cd "$browser_test" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error)
    touch "$browser_test/node_modules"
fi
