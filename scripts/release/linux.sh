# shellcheck shell=bash disable=SC2154  # the variables are release.sh's
# The Linux packages of a release, sourced by scripts/release.sh: CPack's three .deb packages and
# the .tar.gz of all their files with a README.md and docs/ of its own, checked against
# cmake/release-manifest.txt, by their control files and by lintian (not with --quick), then
# installed on this machine, which must hold no other Velkano, for the tests release.sh runs on
# them; removed again on exit. check_linux_packages serves the ARM64 packages too
# (scripts/release/arm64.sh).
arch=$(dpkg --print-architecture)
machine=$(uname -m)
packages_build=$build  # the build whose cpack makes the packages
linux_unpacked=$work/linux  # where they are unpacked: debs/ and tarball/
run_program=()         # what starts a program of theirs
deb_version=$version-1
declare -A package section
components=()
while read -r component name sec; do
    components+=("$component") package[$component]=$name section[$component]=$sec
done < <(manifest deb)
runtime=${package[runtime]}
deb() { echo "$dist/${package[$1]}_${deb_version}_$arch.deb"; }

# What component $1 holds, as `mode owner path [-> target]` with $2 before each path.
expected() {
    local path what
    manifest "$1" "${package[$1]}" | while read -r path what; do
        case $what in
            x) echo "-rwxr-xr-x root/root $2$path" ;;
            "->"*) echo "lrwxrwxrwx root/root $2$path $what" ;;
            *) echo "-rw-r--r-- root/root $2$path" ;;
        esac
    done
}
# `tar -tv` lines (and dpkg-deb -c's) as `mode owner path [-> target]`, without directories.
listing() { awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); $3 = $4 = $5 = ""; print }' | tr -s ' '; }
# Fails unless the listing on stdin is $2, in any order.
same() {
    diff <(LC_ALL=C sort <<<"$2") <(LC_ALL=C sort) >&2 || fail "$1: files differ from the manifest (< wanted, > found)"
}

echo "== linux: nothing of Velkano installed already"
for p in "${package[@]}"; do  # ours, left by an interrupted run
    if dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q installed; then dpkg --purge "$p" >/dev/null; fi
done
stray=$(find /usr/include /usr/local /usr/lib /lib -maxdepth 5 \( -name velkano.h -o -name 'libvelkano*' \
    -o -name velkano.pc -o -iname 'velkano*config.cmake' \) 2>/dev/null || true)
[ -z "$stray" ] || fail "an earlier Velkano is installed on this machine; remove it first: $stray"
cache=$(ldconfig -p)  # read whole: grep -q leaving early would fail the pipeline
! grep -q libvelkano <<<"$cache" || fail "the loader's cache still knows a libvelkano"
unset PKG_CONFIG_PATH PKG_CONFIG_LIBDIR CMAKE_PREFIX_PATH LD_LIBRARY_PATH LIBRARY_PATH CPATH \
    C_INCLUDE_PATH LD_PRELOAD VELKANO_TRACE velkano_DIR

# Makes and checks the packages of $packages_build: $arch (.deb), $machine (.tar.gz), libraries
# in lib/$multiarch; unpacked into $linux_unpacked.
check_linux_packages() {
    tarball_top=velkano-$version-linux-$machine
    tarball=$dist/$tarball_top.tar.gz
    debs=()
    for c in "${components[@]}"; do debs+=("$(deb "$c")"); done
    rm -rf "$linux_unpacked"
    echo "== linux $arch: cpack (TGZ, DEB)"
    cpack --config "$packages_build/CPackConfig.cmake" -B "$work/cpack-$arch" >"$work/cpack-$arch.log" 2>&1 ||
        { cat "$work/cpack-$arch.log" >&2; fail "cpack failed"; }
    mv "$work/cpack-$arch"/*.deb "$work/cpack-$arch"/*.tar.gz "$dist"/
    for f in "${debs[@]}" "$tarball"; do [ -f "$f" ] || fail "cpack made no $f"; done
    [ "$(find "$dist" -name "*_$arch.deb" -o -name "*-linux-$machine.tar.gz" | wc -l)" = 4 ] ||
        fail "$dist holds other $arch packages: $(ls "$dist")"

    echo "== linux $arch: the files of each package and of $tarball, and those its pages name"
    for c in "${components[@]}"; do dpkg-deb -c "$(deb "$c")" | listing | same "$(deb "$c")" "$(expected "$c" usr/)"; done
    tar -tvzf "$tarball" | listing | same "$tarball" "$(for c in "${components[@]}"; do expected "$c" "$tarball_top/"; done
        manifest tarball | awk -v top="$tarball_top/" '{ print "-rw-r--r-- root/root " top $1 }')"
    mkdir -p "$linux_unpacked/debs" "$linux_unpacked/tarball"
    for f in "${debs[@]}"; do dpkg-deb -x "$f" "$linux_unpacked/debs"; done
    tar -xzf "$tarball" -C "$linux_unpacked/tarball"
    bash scripts/release/named-paths.sh "$linux_unpacked/tarball/$tarball_top" || fail "$tarball: its pages name files it does not hold (above)"
    # Beside its own README.md and docs/, the archive holds the packages' files.
    manifest tarball | awk '{ print $1 }' | (cd "$linux_unpacked/tarball/$tarball_top" && xargs rm && find . -type d -empty -delete)
    diff -r --no-dereference "$linux_unpacked/debs/usr" "$linux_unpacked/tarball/$tarball_top" >&2 || fail "$tarball: files differ from the .deb packages'"
    # Unpacked anywhere, the archive's tool finds the archive's library ($ORIGIN).
    "${run_program[@]}" "$linux_unpacked/tarball/$tarball_top/bin/velkano-replay" --help >/dev/null 2>&1 || fail "$tarball: velkano-replay does not start"

    echo "== linux $arch: control files"
    for c in "${components[@]}"; do
        fields=$(dpkg-deb -f "$(deb "$c")")
        for want in "Package: ${package[$c]}" "Version: $deb_version" "Architecture: $arch" "Section: ${section[$c]}"; do
            grep -qxF "$want" <<<"$fields" || fail "$(deb "$c") lacks '$want'"
        done
        grep -q '^Maintainer: [^<]\+ <[^@ ]\+@[^> ]\+>$' <<<"$fields" || fail "$(deb "$c"): no Maintainer with an address"
        [ "$(sed -n '/^Description:/,$p' <<<"$fields" | wc -l)" -ge 3 ] || fail "$(deb "$c"): no long description"
    done
    # Dependencies: dpkg-shlibdeps' (libc6 and the rest, each with a version) and the exact runtime.
    depends() { dpkg-deb -f "$(deb "$1")" Depends | tr ',' '\n' | sed 's/^ *//'; }
    versioned_libc='^libc6 \(>= [0-9.]+\)$'
    [[ "$(depends runtime)" =~ $versioned_libc ]] || fail "$runtime: Depends is $(depends runtime)"
    [ "$(depends development)" = "$runtime (= $deb_version)" ] || fail "${package[development]}: Depends is $(depends development)"
    if ! grep -qx "$runtime (= $deb_version)" <<<"$(depends tools)" || ! grep -q '^libc6 (>= ' <<<"$(depends tools)" ||
        grep -vq ' ([<>=]\+ [^)]\+)$' <<<"$(depends tools)"; then
        fail "${package[tools]}: Depends is $(depends tools)"
    fi
    # The runtime: shlibs for its users, ldconfig through dpkg's trigger, no maintainer scripts.
    dpkg-deb -e "$(deb runtime)" "$linux_unpacked/control"
    [ "$(cd "$linux_unpacked/control" && echo *)" = "control md5sums shlibs triggers" ] || fail "$runtime: control files $(cd "$linux_unpacked/control" && echo *)"
    [ "$(cat "$linux_unpacked/control/shlibs")" = "libvelkano ${version%%.*} $runtime (>= $deb_version)" ] || fail "$runtime: shlibs is wrong"
    [ "$(cat "$linux_unpacked/control/triggers")" = "activate-noawait ldconfig" ] || fail "$runtime: no ldconfig trigger"

    # Errors and warnings fail, but for initial-upload-closes-no-bugs: these packages do not go into
    # Debian. Info tags shown but let pass: binary-has-unneeded-section (CPack's strip keeps
    # .comment), hardening-no-bindnow/-fortify-functions (the project's own flags, not
    # dpkg-buildflags: the machine code the tests check), no-symbols-control-file (shlibs suffices).
    if [ "$quick" = 0 ]; then
        echo "== linux $arch: lintian"
        runuser -u nobody -- lintian --display-info --fail-on error,warning \
            --suppress-tags initial-upload-closes-no-bugs "${debs[@]}" || fail "lintian found errors or warnings (above)"
    fi
}
check_linux_packages

echo "== linux: dpkg -i"
remove_packages() {
    echo "== linux: removing the packages again"
    dpkg --purge "${package[@]}" >/dev/null || echo "release: dpkg --purge failed" >&2
}
trap remove_packages EXIT
dpkg -i "${debs[@]}" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; fail "dpkg -i failed"; }
grep -q "libvelkano.so.${version%%.*} .*=> \(/usr\)\?/lib/$multiarch/libvelkano.so" <<<"$(ldconfig -p)" ||
    fail "the loader's cache lacks libvelkano after dpkg -i (ldconfig trigger)"
