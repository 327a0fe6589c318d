#!/usr/bin/env bash
# The Linux packages of a release, made by CPack in the release build and moved into dist/:
#   libvelkano0_<version>-1_<arch>.deb      libvelkano.so.0*
#   libvelkano-dev_<version>-1_<arch>.deb   header, libvelkano.so link, CMake package, pkg-config file
#   velkano-tools_<version>-1_<arch>.deb    velkano-replay and the capture library
#   velkano-<version>-linux-<machine>.tar.gz  the files of the three packages together
# and their checks: the file list of every package and of the archive, the control fields,
# lintian (left out with VELKANO_RELEASE_QUICK=1), and, with the packages installed on this
# machine (removed again on exit), a C consumer built with pkg-config and with find_package, the
# host scenario built with pkg-config (its bytes go to $VELKANO_RELEASE_NATIVE_BYTES) and the
# installed velkano-replay replaying a trace recorded with the installed capture library.
# Run by scripts/release.sh, or alone from the repository with the VELKANO_RELEASE_* variables
# exported after a release build. Needs root (dpkg -i).
set -euo pipefail
cd "$(dirname "$0")/../.."

version=${VELKANO_RELEASE_VERSION:?}
build=${VELKANO_RELEASE_BUILD:?}
dist=${VELKANO_RELEASE_DIST:?}
work=${VELKANO_RELEASE_WORK:?}/linux
quick=${VELKANO_RELEASE_QUICK:-0}
native_bytes=${VELKANO_RELEASE_NATIVE_BYTES:?}

# shellcheck source=scripts/release/common.sh
source scripts/release/common.sh

deb_version=$version-1
arch=$(dpkg --print-architecture)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
libdir=usr/lib/$multiarch
major=${version%%.*}
runtime=libvelkano$major
packages=("$runtime" libvelkano-dev velkano-tools)
tarball_top=velkano-$version-linux-$(uname -m)
tarball=$dist/$tarball_top.tar.gz
deb_file() { echo "$dist/${1}_${deb_version}_$arch.deb"; }
capture=/$libdir/velkano/libvelkano_capture.so

# What each package holds, as `mode owner path` (symlinks `path -> target`); directories left out.
expected_files() {
    local doc="-rw-r--r-- root/root usr/share/doc/$1"
    case $1 in
        "$runtime") cat <<EOF
lrwxrwxrwx root/root $libdir/libvelkano.so.$major -> libvelkano.so.$version
-rw-r--r-- root/root $libdir/libvelkano.so.$version
$doc/changelog.Debian.gz
$doc/copyright
EOF
        ;;
        libvelkano-dev) cat <<EOF
-rw-r--r-- root/root usr/include/velkano.h
-rw-r--r-- root/root $libdir/cmake/velkano/velkanoConfig.cmake
-rw-r--r-- root/root $libdir/cmake/velkano/velkanoConfigVersion.cmake
-rw-r--r-- root/root $libdir/cmake/velkano/velkanoTargets-release.cmake
-rw-r--r-- root/root $libdir/cmake/velkano/velkanoTargets.cmake
lrwxrwxrwx root/root $libdir/libvelkano.so -> libvelkano.so.$major
-rw-r--r-- root/root $libdir/pkgconfig/velkano.pc
$doc/changelog.Debian.gz
$doc/copyright
EOF
        ;;
        velkano-tools) cat <<EOF
-rwxr-xr-x root/root usr/bin/velkano-replay
-rw-r--r-- root/root $libdir/velkano/libvelkano_capture.so
$doc/changelog.Debian.gz
$doc/copyright
-rw-r--r-- root/root usr/share/man/man1/velkano-replay.1.gz
EOF
        ;;
    esac
}

# `tar -tv` lines (what dpkg-deb -c prints) as `mode owner path [-> target]`, without directories
# and without the leading "./" or `strip` prefix.
tar_listing() {
    local strip=$1
    awk -v strip="$strip" '$1 !~ /^d/ {
        path = $6; sub(/^\.\//, "", path)
        if (substr(path, 1, length(strip)) != strip) { print "outside " strip ": " path; next }
        line = $1 " " $2 " " substr(path, length(strip) + 1)
        for (i = 7; i <= NF; ++i) line = line " " $i
        print line
    }' | by_path
}

by_path() { LC_ALL=C sort -k3,3; }

# Fails with the difference when the listing on stdin is not the expected one in $2.
same_listing() {
    local what=$1 want=$2 got
    got=$(cat)
    if [ "$got" != "$want" ]; then
        diff <(echo "$want") <(echo "$got") | sed 's/^/    /' >&2 || true
        fail "$what: files differ from the expected list (< expected, > found)"
    fi
}

# ---- before anything: no earlier Velkano where a consumer could find it ----------------------
# An installed libvelkano, header, .pc or CMake package would let a consumer build or run
# without the new packages. Our own packages from an interrupted run are removed; anything else
# stops the release.
check_clean_machine() {
    echo "== linux: nothing of Velkano installed already"
    local installed=()
    for p in "${packages[@]}"; do
        if dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'installed'; then installed+=("$p"); fi
    done
    if [ "${#installed[@]}" -gt 0 ]; then
        echo "   removing ${installed[*]} left by an earlier run"
        dpkg --purge "${installed[@]}" >/dev/null
    fi
    local stray
    stray=$(find /usr/include /usr/local /usr/lib /lib -maxdepth 5 \
        \( -name 'velkano.h' -o -name 'libvelkano*' -o -name 'velkano.pc' -o -iname 'velkano*config.cmake' \) \
        2>/dev/null || true)
    [ -z "$stray" ] || fail "an earlier Velkano is installed on this machine; remove it first:
$stray"
    # Long outputs are read whole before grep: with pipefail, grep -q leaving early would fail the
    # pipeline through the writer's broken pipe.
    local cache
    cache=$(ldconfig -p)
    ! grep -q libvelkano <<<"$cache" || fail "the loader's cache still knows a libvelkano: $(grep libvelkano <<<"$cache")"
    # Nothing from the environment points a compiler, pkg-config, CMake or the loader elsewhere.
    unset PKG_CONFIG_PATH PKG_CONFIG_LIBDIR CMAKE_PREFIX_PATH LD_LIBRARY_PATH LIBRARY_PATH CPATH C_INCLUDE_PATH \
        LD_PRELOAD VELKANO_TRACE velkano_DIR
}

# ---- the packages ----------------------------------------------------------------------------
make_packages() {
    echo "== linux: cpack (TGZ, DEB)"
    rm -rf "$work/cpack"
    mkdir -p "$work/cpack" "$dist"
    if ! cpack --config "$build/CPackConfig.cmake" -B "$work/cpack" >"$work/cpack.log" 2>&1; then
        cat "$work/cpack.log" >&2
        fail "cpack failed"
    fi
    mv "$work"/cpack/*.deb "$work"/cpack/*.tar.gz "$dist"/
    for p in "${packages[@]}"; do [ -f "$(deb_file "$p")" ] || fail "cpack made no $(deb_file "$p")"; done
    [ -f "$tarball" ] || fail "cpack made no $tarball"
    local made
    made=$(find "$dist" -maxdepth 1 \( -name '*.deb' -o -name '*.tar.gz' \) | wc -l)
    [ "$made" = 4 ] || fail "$dist holds $made Linux packages, not 4: $(ls "$dist")"
}

check_deb_files() {
    echo "== linux: files of each .deb"
    for p in "${packages[@]}"; do
        dpkg-deb -c "$(deb_file "$p")" | tar_listing "" | same_listing "$p" "$(expected_files "$p" | by_path)"
    done
}

# The value of control field $2 of package $1.
field() { dpkg-deb -f "$(deb_file "$1")" "$2"; }

# The package names of a Depends field, sorted, one line.
depends_names() { field "$1" Depends | tr ',' '\n' | sed 's/^ *//; s/ .*//' | LC_ALL=C sort | tr '\n' ' '; }

check_deb_control() {
    echo "== linux: control fields"
    declare -A section=([$runtime]=libs [libvelkano-dev]=libdevel [velkano-tools]=devel)
    for p in "${packages[@]}"; do
        [ "$(field "$p" Package)" = "$p" ] || fail "$p: Package is $(field "$p" Package)"
        [ "$(field "$p" Version)" = "$deb_version" ] || fail "$p: Version is $(field "$p" Version), not $deb_version"
        [ "$(field "$p" Architecture)" = "$arch" ] || fail "$p: Architecture is $(field "$p" Architecture)"
        [ "$(field "$p" Section)" = "${section[$p]}" ] || fail "$p: Section is $(field "$p" Section)"
        field "$p" Maintainer | grep -q '^[^<]\+ <[^@ ]\+@[^> ]\+>$' || fail "$p: no Maintainer with an address"
        [ "$(field "$p" Description | wc -l)" -ge 3 ] || fail "$p: no long description"
    done
    # Worked out by dpkg-shlibdeps from what the binaries link, with versions.
    [ "$(depends_names "$runtime")" = "libc6 " ] || fail "$runtime: Depends is $(field "$runtime" Depends)"
    field "$runtime" Depends | grep -q '^libc6 (>= [0-9.]\+)$' || fail "$runtime: libc6 without a version"
    [ "$(field libvelkano-dev Depends)" = "$runtime (= $deb_version)" ] ||
        fail "libvelkano-dev: Depends is $(field libvelkano-dev Depends)"
    [ "$(depends_names velkano-tools)" = "libc6 libgcc-s1 libpng16-16 libstdc++6 $runtime zlib1g " ] ||
        fail "velkano-tools: Depends is $(field velkano-tools Depends)"
    field velkano-tools Depends | tr ',' '\n' | grep -qx " \?$runtime (= $deb_version)" ||
        fail "velkano-tools: not the exact $runtime: $(field velkano-tools Depends)"
    # The runtime package: shlibs for packages linking it, ldconfig through dpkg's trigger, and no
    # maintainer scripts.
    local control=$work/control-$runtime
    rm -rf "$control"
    dpkg-deb -e "$(deb_file "$runtime")" "$control"
    local members
    members=$(cd "$control" && echo *)
    [ "$members" = "control md5sums shlibs triggers" ] || fail "$runtime: control files are $members"
    [ "$(cat "$control/shlibs")" = "libvelkano $major $runtime (>= $deb_version)" ] ||
        fail "$runtime: shlibs is '$(cat "$control/shlibs")'"
    [ "$(cat "$control/triggers")" = "activate-noawait ldconfig" ] ||
        fail "$runtime: triggers is '$(cat "$control/triggers")'"
}

# The archive holds exactly the files of the three packages, under one top directory, byte for
# byte the same.
check_tarball() {
    echo "== linux: $tarball holds the files of the three packages"
    local want
    want=$(for p in "${packages[@]}"; do expected_files "$p"; done | sed 's| usr/| |' | by_path)
    tar -tvzf "$tarball" | tar_listing "$tarball_top/" | same_listing "$tarball" "$want"
    rm -rf "$work/debs" "$work/tarball"
    mkdir -p "$work/debs" "$work/tarball"
    for p in "${packages[@]}"; do dpkg-deb -x "$(deb_file "$p")" "$work/debs"; done
    tar -xzf "$tarball" -C "$work/tarball"
    diff -r --no-dereference "$work/debs/usr" "$work/tarball/$tarball_top" >&2 ||
        fail "$tarball: contents differ from the .deb packages"
    # Unpacked anywhere, the archive's tool finds the archive's library (its $ORIGIN search path);
    # nothing of Velkano is installed yet.
    local replay=$work/tarball/$tarball_top/bin/velkano-replay
    if [ -e "$replay" ]; then
        "$replay" --help >/dev/null 2>&1 || fail "$tarball: bin/velkano-replay does not start where it is unpacked"
    fi
}

# Lintian's errors and warnings fail the release. Left as they are:
#   initial-upload-closes-no-bugs (W): Debian's archive wants a package's first upload to close
#       its request-for-packaging bug; these packages are not uploaded to Debian.
# Shown, but not failing (info tags):
#   binary-has-unneeded-section .comment: CPack's strip keeps the compiler's version note.
#   hardening-no-bindnow, hardening-no-fortify-functions: the project builds with its own flags
#       (cmake/VelkanoFlags.cmake), not dpkg-buildflags; the library's machine code stays the
#       one every test checks.
#   no-symbols-control-file: shlibs says all a consumer needs; the thirteen entry points have
#       been there since the first release.
check_lintian() {
    if [ "$quick" = 1 ]; then
        echo "== linux: lintian left out (quick)"
        return
    fi
    echo "== linux: lintian"
    local run=()
    [ "$(id -u)" != 0 ] || run=(runuser -u nobody --)  # lintian warns when run as root
    local debs=()
    for p in "${packages[@]}"; do debs+=("$(deb_file "$p")"); done
    "${run[@]}" lintian --display-info --fail-on error,warning --suppress-tags initial-upload-closes-no-bugs \
        "${debs[@]}" || fail "lintian found errors or warnings (above)"
}

# ---- installed on this machine ---------------------------------------------------------------
installed_here=0
remove_packages() {
    if [ "$installed_here" = 1 ]; then
        echo "== linux: removing the packages again"
        dpkg --purge velkano-tools libvelkano-dev "$runtime" >/dev/null || echo "release: dpkg --purge failed" >&2
    fi
}

install_packages() {
    echo "== linux: dpkg -i"
    installed_here=1
    local debs=()
    for p in "${packages[@]}"; do debs+=("$(deb_file "$p")"); done
    dpkg -i "${debs[@]}" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; fail "dpkg -i failed"; }
    # With /lib a link to /usr/lib, the cache may name either.
    grep -q "libvelkano.so.$major .*=> \(/usr\)\?/lib/$multiarch/libvelkano.so.$major$" <<<"$(ldconfig -p)" ||
        fail "the loader's cache has no /$libdir/libvelkano.so.$major after dpkg -i (ldconfig trigger)"
}

# Fails unless program $1 loads libvelkano from the installed package.
check_loads_installed() {
    local loaded
    loaded=$(ldd "$1" | awk -v name="libvelkano.so.$major" '$1 == name { print $3 }')
    if [ -z "$loaded" ] || [ "$(readlink -f "$loaded")" != "$(readlink -f "/$libdir/libvelkano.so.$version")" ]; then
        fail "$1 does not load /$libdir/libvelkano.so.$major: $(ldd "$1" | grep velkano || echo none)"
    fi
}

# Fails unless the consumer $1 runs, draws the right pixels and was built with this release's header.
check_consumer_runs() {
    local out
    out=$("$1") || fail "$1 failed: $out"
    [ "$out" = "consumer: ok (velkano $version)" ] || fail "$1 printed '$out'"
}

check_consumer_find_package() {
    echo "== linux: consumer with find_package(velkano)"
    local dir=$work/cmake-consumer
    if ! { cmake -S tests/install/consumer -B "$dir" -DCMAKE_BUILD_TYPE=Release && cmake --build "$dir"; } \
        >"$work/cmake-consumer.log" 2>&1; then
        cat "$work/cmake-consumer.log" >&2
        fail "the find_package consumer does not build"
    fi
    grep -qx "velkano_DIR:PATH=/$libdir/cmake/velkano" "$dir/CMakeCache.txt" ||
        fail "find_package took $(grep '^velkano_DIR' "$dir/CMakeCache.txt"), not /$libdir/cmake/velkano"
    check_loads_installed "$dir/consumer"
    check_consumer_runs "$dir/consumer"
}

check_consumer_pkg_config() {
    echo "== linux: consumer with pkg-config"
    [ "$(pkg-config --modversion velkano)" = "$version" ] || fail "pkg-config velkano is $(pkg-config --modversion velkano)"
    # The .pc file finds its prefix from its own place: /usr/lib/<triplet>/pkgconfig/../../..
    [ "$(realpath -m "$(pkg-config --variable=libdir velkano)")" = "/$libdir" ] ||
        fail "pkg-config libdir is $(pkg-config --variable=libdir velkano)"
    # shellcheck disable=SC2046  # the flags are words
    cc -std=c99 -pedantic -Wall -Werror tests/install/consumer/consumer.c $(pkg-config --cflags --libs velkano) \
        -o "$work/pkg-consumer" || fail "the pkg-config consumer does not build"
    check_loads_installed "$work/pkg-consumer"
    check_consumer_runs "$work/pkg-consumer"
}

# The native host scenario against the installed library; win32.sh compares the Windows hosts'
# bytes with these.
check_host_scenario() {
    echo "== linux: host scenario with pkg-config -> $native_bytes"
    local host=$work/native-host
    # shellcheck disable=SC2046
    cc "${host_c_flags[@]}" "${host_scenario_sources[@]}" $(pkg-config --cflags --libs velkano) -o "$host" ||
        fail "the host scenario does not build"
    check_loads_installed "$host"
    mkdir -p "$(dirname "$native_bytes")"
    rm -f "$native_bytes"
    "$host" "$native_bytes" || fail "the host scenario failed its checks (above)"
    [ -s "$native_bytes" ] || fail "the host scenario wrote no bytes"
}

check_replay() {
    echo "== linux: velkano-replay replays a trace recorded with $capture"
    local trace=$work/consumer.vktrace
    rm -f "$trace"
    check_loads_installed /usr/bin/velkano-replay
    VELKANO_TRACE=$trace LD_PRELOAD=$capture "$work/pkg-consumer" >/dev/null ||
        fail "the consumer fails with the capture library preloaded"
    [ -s "$trace" ] || fail "the capture library recorded no trace"
    grep -q FLASHADD <<<"$(velkano-replay --calls "$trace")" || fail "the trace holds no FLASHADD call"
    velkano-replay "$trace" >"$work/replay.log" 2>&1 || { cat "$work/replay.log" >&2; fail "velkano-replay failed"; }
}

rm -rf "$work"
mkdir -p "$work"
trap remove_packages EXIT
check_clean_machine
make_packages
check_deb_files
check_deb_control
check_tarball
check_lintian
install_packages
check_consumer_find_package
check_consumer_pkg_config
check_host_scenario
check_replay
echo "== linux: packages in $dist"
