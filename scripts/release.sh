#!/usr/bin/env bash
# Builds a release into dist/ and checks what it made:
#   dist/velkano-<version>-win32.zip   Velkano.dll, its header, .def and import libraries, the capture
#                                      variant, velkano-replay.exe, README, LICENSE, CHANGELOG
#   dist/*.tar.gz, dist/*.deb          the Linux packages (CPack)
#   dist/SHA256SUMS                    the checksum of each of them
# Usage: bash scripts/release.sh [--quick]
#   --quick  keeps an earlier release build (incremental) and leaves out lintian; scripts/test.sh
#            runs it so.
# Needs the packages of scripts/install-deps.sh and root (the .deb packages are installed on this
# machine to build consumers against them, then removed).
set -euo pipefail
cd "$(dirname "$0")/.."

quick=0
case "${1:-}" in
    --quick) quick=1 ;;
    "") ;;
    *) echo "usage: $0 [--quick]" >&2; exit 2 ;;
esac

version=$(sed -n 's/^project(velkano VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "release: no project version in CMakeLists.txt" >&2; exit 1; }
build="build-release"
dist=dist
work=$build/release-check  # scratch of the checks: consumers, hosts, unpacked archives
if [ "$quick" = 0 ]; then
    if [ -n "$(git status --porcelain 2>/dev/null)" ]; then
        echo "release: warning: the working tree has changes that are not committed" >&2
    fi
    rm -rf "$build"
fi
rm -rf "$dist" "$work"
mkdir -p "$dist" "$work"

# One date for everything the release stamps (the zip's files, the Debian changelog): the last
# commit's, unless the caller gives one.
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}
export SOURCE_DATE_EPOCH

echo "== release $version: build"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DBUILD_TESTING=OFF \
    -DVELKANO_WIN32=ON -DVELKANO_BUILD_DEMO=OFF -DVELKANO_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"

export VELKANO_RELEASE_VERSION=$version VELKANO_RELEASE_BUILD=$build VELKANO_RELEASE_DIST=$dist \
    VELKANO_RELEASE_WORK=$work VELKANO_RELEASE_QUICK=$quick
# The Linux packages first: the native host built against the installed .deb draws the bytes the
# Windows hosts must match.
export VELKANO_RELEASE_NATIVE_BYTES=$work/host-native.bin
bash scripts/release/linux.sh
bash scripts/release/win32.sh

# Checksums of everything published, for downloaders: sha256sum -c SHA256SUMS in dist/.
(cd "$dist" && find . -maxdepth 1 -type f -printf '%P\n' | LC_ALL=C sort | xargs sha256sum) >"$work/SHA256SUMS"
mv "$work/SHA256SUMS" "$dist/SHA256SUMS"
echo "== release $version: done"
ls -l "$dist"
