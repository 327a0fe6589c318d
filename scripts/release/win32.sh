#!/usr/bin/env bash
# Makes the Windows archive of a release, dist/velkano-<version>-win32.zip, from the release
# build's cross build (<build>/win32), and checks it:
#   - the archive holds exactly the files wanted, under velkano-<version>-win32/;
#   - both DLLs in it export the thirteen names of exports/velkano.def and import only Windows'
#     own DLLs;
#   - the DLLs and velkano-replay.exe carry a version resource of this release;
#   - the host scenario, built from the archive alone (its header and each import library) with
#     MinGW GCC and GNU ld and with clang and lld, draws under Wine the bytes the native host drew
#     ($VELKANO_RELEASE_NATIVE_BYTES);
#   - examples/windows builds from the archive with MinGW GCC, and link_host.c also as an
#     MSVC-style program (clang for i686-pc-windows-msvc, lld-link, lib/Velkano.lib, no C
#     runtime); each checks its own pixel under Wine.
# Run by scripts/release.sh, which exports the VELKANO_RELEASE_* variables; to run it alone, export
# them by hand (VELKANO_RELEASE_NATIVE_BYTES may be any host-native.bin of this version).
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD

# Paths absolute, since the programs under Wine run in folders of their own.
absolute() {
    case $1 in
        /*) echo "$1" ;;
        *) echo "$root/$1" ;;
    esac
}
version=${VELKANO_RELEASE_VERSION:?}
build=$(absolute "${VELKANO_RELEASE_BUILD:?}")
dist=$(absolute "${VELKANO_RELEASE_DIST:?}")
work=$(absolute "${VELKANO_RELEASE_WORK:?}")/win32
native_bytes=$(absolute "${VELKANO_RELEASE_NATIVE_BYTES:?}")
win32=$build/win32
name=velkano-$version-win32
zip=$dist/$name.zip
unpacked=$work/unpacked/$name

export WINEPREFIX=$build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= DISPLAY=
mingw_gcc=i686-w64-mingw32-gcc-win32
mingw_objdump=i686-w64-mingw32-objdump
mingw_windres=i686-w64-mingw32-windres
# shellcheck source=scripts/release/common.sh
source scripts/release/common.sh
host_flags=("${host_c_flags[@]}" -msse2 -mfpmath=sse -static)

# Every file of the archive, relative to its top folder. The capture variant and the replay tool
# are packed when the build made them (VELKANO_BUILD_CAPTURE).
wanted_files() {
    printf '%s\n' bin/Velkano.dll include/velkano.h exports/velkano.def lib/libVelkano.dll.a \
        lib/Velkano.lib README.md LICENSE CHANGELOG.md
    [ -f "$win32/capture/Velkano.dll" ] && echo capture/Velkano.dll
    [ -f "$win32/bin/velkano-replay.exe" ] && echo bin/velkano-replay.exe
    return 0
}

# Copies `from` to `to` under the staging folder, or fails naming what is missing.
stage() {
    local from=$1 to=$2
    [ -f "$from" ] || fail "${from#"$root"/} is missing: it goes into the archive as $to"
    mkdir -p "$(dirname "$staged/$to")"
    cp "$from" "$staged/$to"
}

make_zip() {
    echo "== win32: $name.zip"
    staged=$work/staging/$name
    rm -rf "$work" && mkdir -p "$staged" "$dist"
    stage "$win32/bin/Velkano.dll" bin/Velkano.dll
    stage "$build/include/velkano.h" include/velkano.h
    stage exports/velkano.def exports/velkano.def
    stage "$win32/libVelkano.dll.a" lib/libVelkano.dll.a
    stage "$win32/Velkano.lib" lib/Velkano.lib
    stage README.md README.md
    stage LICENSE LICENSE
    stage CHANGELOG.md CHANGELOG.md
    [ -f "$win32/capture/Velkano.dll" ] && stage "$win32/capture/Velkano.dll" capture/Velkano.dll
    [ -f "$win32/bin/velkano-replay.exe" ] && stage "$win32/bin/velkano-replay.exe" bin/velkano-replay.exe
    # The same inputs give the same archive: files in name order, each dated at the release's date,
    # no extra attributes, no directory entries.
    find "$staged" -type f -exec touch -d "@${SOURCE_DATE_EPOCH:?}" {} +
    rm -f "$zip"
    (cd "$work/staging" && find "$name" -type f | LC_ALL=C sort | TZ=UTC zip -q -X -D "$zip" -@)
}

check_file_list() {
    echo "== win32: the archive's files"
    local listed wanted
    listed=$(unzip -Z1 "$zip" | sort)
    wanted=$(wanted_files | sed "s|^|$name/|" | sort)
    if [ "$listed" != "$wanted" ]; then
        diff <(echo "$wanted") <(echo "$listed") | grep '^[<>]' >&2
        fail "$name.zip does not hold the files wanted ('<' wanted, '>' found)"
    fi
    rm -rf "$work/unpacked" && mkdir -p "$work/unpacked"
    unzip -q "$zip" -d "$work/unpacked"
}

# tests/host/check_exports.cmake: the .def's names, no more, and only Windows' own DLLs imported.
check_exports() {
    local dll
    for dll in bin/Velkano.dll capture/Velkano.dll; do
        [ -f "$unpacked/$dll" ] || continue
        echo "== win32: $dll exports"
        cmake -DOBJDUMP="$mingw_objdump" -DDLL="$unpacked/$dll" -DDEF="$unpacked/exports/velkano.def" \
            -P tests/host/check_exports.cmake >/dev/null || fail "$dll: wrong exports or imports (above)"
    done
}

# windres decodes a binary's resources back into a resource script: the VERSIONINFO block must
# give this release in both numeric versions and in the strings.
check_version_resource() {
    local file=$1 original=$2 script field major minor patch
    IFS=. read -r major minor patch <<<"$version"
    echo "== win32: $file version resource"
    script=$("$mingw_windres" -i "$unpacked/$file" -O rc 2>/dev/null | sed 's/^ *//') ||
        fail "$file has no resources"
    for field in \
        "FILEVERSION $major, $minor, $patch, 0" \
        "PRODUCTVERSION $major, $minor, $patch, 0" \
        "VALUE \"FileVersion\", \"$version\"" \
        "VALUE \"ProductVersion\", \"$version\"" \
        "VALUE \"ProductName\", \"Velkano\"" \
        "VALUE \"OriginalFilename\", \"$original\"" \
        "VALUE \"LegalCopyright\", \"Copyright (c) 2026 the Velkano developers\""; do
        grep -qxF -- "$field" <<<"$script" ||
            fail "$file: its version resource lacks: $field"
    done
}

check_version_resources() {
    check_version_resource bin/Velkano.dll Velkano.dll
    [ -f "$unpacked/capture/Velkano.dll" ] && check_version_resource capture/Velkano.dll Velkano.dll
    [ -f "$unpacked/bin/velkano-replay.exe" ] && check_version_resource bin/velkano-replay.exe velkano-replay.exe
    return 0
}

# Runs `exe` (in its own folder, beside a copy of the archive's Velkano.dll) under Wine.
run_beside_dll() {
    local exe=$1
    shift
    cp "$unpacked/bin/Velkano.dll" "$(dirname "$exe")/"
    (cd "$(dirname "$exe")" && wine "./$(basename "$exe")" "$@")
}

# The host scenario linked through one import library: tests/host's sources with the archive's
# header (the sources' folder has none) and library only.
check_host() {
    local compiler=$1 library=$2 dir=$work/hosts/$1-${2%%.*}
    echo "== win32: host scenario, $compiler, lib/$library"
    mkdir -p "$dir"
    case $compiler in
        gcc) "$mingw_gcc" "${host_flags[@]}" -I"$unpacked/include" "${host_scenario_sources[@]}" "$unpacked/lib/$library" \
            -o "$dir/host.exe" ;;
        # Debian's clang finds MinGW's headers and CRT but not its libgcc, whose folder is named
        # 12-win32: it gets the folder from MinGW GCC.
        clang) clang --target=i686-w64-mingw32 -fuse-ld=lld -L"$(dirname "$("$mingw_gcc" -print-libgcc-file-name)")" \
            "${host_flags[@]}" -I"$unpacked/include" "${host_scenario_sources[@]}" "$unpacked/lib/$library" -o "$dir/host.exe" ;;
    esac || fail "the host scenario does not build with $compiler and lib/$library"
    "$mingw_objdump" -p "$dir/host.exe" | grep "DLL Name: Velkano.dll" >/dev/null ||
        fail "the $compiler host linked with lib/$library does not import Velkano.dll"
    run_beside_dll "$dir/host.exe" host.bin >"$dir/host.log" 2>&1 ||
        { cat "$dir/host.log" >&2; fail "the $compiler host linked with lib/$library failed under Wine"; }
    cmp -s "$dir/host.bin" "$native_bytes" ||
        fail "the $compiler host linked with lib/$library drew other bytes than the native host (see $dir/host.bin)"
}

check_hosts() {
    [ -f "$native_bytes" ] || fail "$native_bytes is missing: scripts/release/linux.sh writes it"
    local compiler library
    for compiler in gcc clang; do
        for library in libVelkano.dll.a Velkano.lib; do check_host "$compiler" "$library"; done
    done
}

# examples/windows, as a host developer builds them from the archive; each exits 0 when its pixel
# is right.
check_examples() {
    local dir=$work/examples example
    mkdir -p "$dir"
    echo "== win32: examples/windows with MinGW GCC"
    "$mingw_gcc" -std=c99 -Wall -Wextra -Werror -I"$unpacked/include" examples/windows/link_host.c \
        "$unpacked/lib/libVelkano.dll.a" -o "$dir/link_host.exe" || fail "examples/windows/link_host.c does not build"
    "$mingw_gcc" -std=c99 -Wall -Wextra -Werror examples/windows/load_host.c -o "$dir/load_host.exe" ||
        fail "examples/windows/load_host.c does not build"
    # link_host.c needs nothing of a C library but <stdint.h>, so it links MSVC-style with no
    # runtime: main is the entry point, and its result the exit status.
    echo "== win32: examples/windows/link_host.c with clang and lld-link, lib/Velkano.lib"
    if ! clang --target=i686-pc-windows-msvc -ffreestanding -std=c99 -Wall -Wextra -Werror -I"$unpacked/include" \
        -c examples/windows/link_host.c -o "$dir/link_host_msvc.obj" ||
        ! lld-link /nologo /entry:main /subsystem:console /nodefaultlib "$dir/link_host_msvc.obj" \
            "$unpacked/lib/Velkano.lib" /out:"$dir/link_host_msvc.exe"; then
        fail "examples/windows/link_host.c does not link MSVC-style with lib/Velkano.lib"
    fi
    for example in link_host load_host link_host_msvc; do
        run_beside_dll "$dir/$example.exe" || fail "$example.exe exited with status $? under Wine"
    done
}

make_zip
check_file_list
check_exports
check_version_resources
check_hosts
check_examples
echo "== win32: $zip checked in ${SECONDS}s"
