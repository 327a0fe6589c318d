#!/usr/bin/env bash
# Builds a release into dist/ and checks what it made: velkano-<version>-win32.zip and -win64.zip,
# the Linux .deb and .tar.gz packages for x86-64 and for ARM64 (their files are those of
# cmake/release-manifest.txt) and SHA256SUMS.
# Each archive's README.md names only files the archive holds (scripts/release/named-paths.sh).
# Usage: bash scripts/release.sh [--quick]
#   --quick  keeps an earlier release build (incremental) and leaves out lintian; scripts/test.sh
#            runs it so.
# Needs root and the packages of scripts/install-deps.sh: the .deb packages are installed on this
# machine for the checks, and removed again when the script ends.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

quick=0
case "${1:-}" in
    --quick) quick=1 ;;
    "") ;;
    *) echo "usage: $0 [--quick]" >&2; exit 2 ;;
esac

fail() {
    echo "release: $*" >&2
    exit 1
}

version=$(sed -n 's/^project(velkano VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || fail "no project version in CMakeLists.txt"
build=$root/build-release
dist=$root/dist
work=$build/release-check  # scratch of the checks
tests=$build/packaged-tests  # tests/install and tests/host configured on the packages
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
if [ "$quick" = 0 ]; then
    [ -z "$(git status --porcelain 2>/dev/null)" ] || echo "release: warning: uncommitted changes" >&2
    rm -rf "$build"
fi
rm -rf "$dist" "$work"
mkdir -p "$dist" "$work"

# One date for everything the release stamps (the zip's files, the Debian changelog, the
# copyright year): the last commit's, unless the caller gives one.
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}
export SOURCE_DATE_EPOCH
export WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= DISPLAY=  # each zip's prefix: scripts/release/windows.sh

# The manifest's lines for $1 (deb, win32, win64, tarball or a component) without it, placeholders
# filled in ($2: the component's package, for @DOC@), a `*` of a file taken from the source tree
# expanded to a line per match (kept as it is when nothing matches, so the file is missing).
manifest() {
    local path from rest matches match
    sed -n "s/^$1 \+//p" cmake/release-manifest.txt | sed "s|@LIBDIR@|lib/$multiarch|g; s|@VERSION@|$version|g;
        s|@MAJOR@|${version%%.*}|g; s|@DOC@|share/doc/${2:-}|g; s|@BUILD@|$build|g" |
        while read -r path from rest; do
            if [[ "$from" != *"*"* ]] || ! matches=$(compgen -G "$from"); then
                echo "$path${from:+ $from}${rest:+ $rest}"
                continue
            fi
            while read -r match; do
                echo "${path%"${path##*/}"}${match##*/} $match"
            done < <(LC_ALL=C sort <<<"$matches")
        done
}

echo "== release $version: build"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DBUILD_TESTING=OFF \
    -DVELKANO_BUILD_CAPTURE=ON -DVELKANO_WIN32=ON -DVELKANO_WIN64=ON -DVELKANO_ARM64=ON -DVELKANO_BUILD_DEMO=OFF \
    -DVELKANO_BUILD_BENCHMARKS=OFF \
    >/dev/null
cmake --build "$build" -j"$(nproc)"

# shellcheck source=scripts/release/linux.sh
source scripts/release/linux.sh  # the .deb and .tar.gz, installed here until the script ends
# shellcheck source=scripts/release/windows.sh
source scripts/release/windows.sh  # the zips, unpacked into $(windows_unpacked win32) and win64
windows_zip win32
windows_zip win64
# shellcheck source=scripts/release/arm64.sh
(source scripts/release/arm64.sh)  # the ARM64 .deb and .tar.gz, checked unpacked under qemu

echo "== release: tests/install and tests/host on the installed packages and the unpacked zip"
if ! { cmake -S tests/install -B "$tests" -DVELKANO_PACKAGED_PREFIX=/usr -DVELKANO_PACKAGED_WIN32="$(windows_unpacked win32)" \
    -DVELKANO_PACKAGED_WIN64="$(windows_unpacked win64)" -DVELKANO_VERSION="$version" && cmake --build "$tests"; } \
    >"$work/tests.log" 2>&1; then
    cat "$work/tests.log" >&2
    fail "the tests on the packages do not build"
fi
ctest --test-dir "$tests" --output-on-failure || fail "the tests on the packages failed (above)"
check_examples win32
check_examples win64

# Checksums of everything published, for downloaders: sha256sum -c SHA256SUMS in dist/.
(cd "$dist" && find . -maxdepth 1 -type f -printf '%P\n' | LC_ALL=C sort | xargs sha256sum) >"$work/SHA256SUMS"
mv "$work/SHA256SUMS" "$dist/SHA256SUMS"
echo "== release $version: done"
ls -l "$dist"
