# shellcheck shell=bash disable=SC2154  # the variables are release.sh's and linux.sh's
# The ARM64 Linux packages of a release, sourced by scripts/release.sh after linux.sh (in a
# subshell of their own): the arm64 .deb packages and velkano-<version>-linux-aarch64.tar.gz made
# by cpack in the release build's ARM64 cross build, checked as the native ones are
# (check_linux_packages), then used unpacked, as they cannot be installed beside the native ones:
# the consumers of tests/install cross-built against the unpacked .deb tree and against the
# unpacked archive, and run under qemu-aarch64 with the cross sysroot.
arch=arm64
machine=aarch64
multiarch=aarch64-linux-gnu
packages_build=$build/arm64
linux_unpacked=$work/linux-arm64
run_program=(qemu-aarch64 -L /usr/aarch64-linux-gnu)
# dpkg-shlibdeps reads the binaries as arm64 ones, against Debian's arm64 libraries (multiarch).
export DEB_HOST_ARCH=arm64
check_linux_packages

echo "== linux arm64: the consumers of tests/install, cross-built against the unpacked packages, under qemu"
launcher=$(IFS='|' && echo "${run_program[*]}")
for prefix in "$linux_unpacked/debs/usr" "$linux_unpacked/tarball/$tarball_top"; do
    if ! cmake -DPREFIX="$prefix" -DLIBDIR="lib/$multiarch" -DVERSION="$version" -DWORK_DIR="$work/arm64-consumers" \
        -DSOURCE_DIR="$root/tests/install/consumer" -DCC=aarch64-linux-gnu-gcc \
        -DTOOLCHAIN="$root/cmake/aarch64-linux.cmake" -DLAUNCHER="$launcher" \
        -P tests/install/check_install.cmake >"$work/arm64-consumers.log" 2>&1; then
        cat "$work/arm64-consumers.log" >&2
        fail "the consumers of $prefix do not build or run under qemu (above)"
    fi
done
