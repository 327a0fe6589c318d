# shellcheck shell=bash disable=SC2154  # the variables are release.sh's
# The Windows zips of a release, sourced by scripts/release.sh: windows_zip win32|win64 packs
# velkano-<version>-<win>.zip from the release build's cross build (win32/ or win64/) as
# cmake/release-manifest.txt lists it, checks its files, the files its pages name and its version
# resources, and unpacks it into $(windows_unpacked <win>) for the tests release.sh runs on it;
# check_examples win32|win64 builds the examples in it and runs them.

# The folder the zip of $1 is unpacked into.
windows_unpacked() { echo "$work/$1/velkano-$version-$1"; }

# The MinGW triplet, clang's MSVC target and the Wine command of $1.
windows_tools() {
    case "$1" in
        win32) triplet=i686-w64-mingw32 msvc_target=i686-pc-windows-msvc
            wine_command=(env WINEPREFIX="$tests/wineprefix" WINEARCH=win32 wine) ;;
        win64) triplet=x86_64-w64-mingw32 msvc_target=x86_64-pc-windows-msvc
            wine_command=(env WINEPREFIX="$tests/wineprefix64" WINEARCH=win64 /usr/lib/wine/wine64) ;;
        *) fail "no Windows target $1" ;;
    esac
    mingw_gcc=$triplet-gcc-win32
}

windows_zip() {
    local win=$1 win_name zip unpacked staged path from file script field major minor patch
    windows_tools "$win"
    win_name=velkano-$version-$win
    zip=$dist/$win_name.zip
    unpacked=$(windows_unpacked "$win")

    echo "== $win: $win_name.zip"
    staged=$work/$win-staging/$win_name
    while read -r path from; do
        [ -f "$from" ] || fail "$from is missing: it goes into the zip as $path"
        mkdir -p "$(dirname "$staged/$path")"
        cp "$from" "$staged/$path"
    done < <(manifest "$win")
    # The same inputs give the same zip: files in name order, each dated at the release's date, no
    # extra attributes, no directory entries.
    find "$staged" -type f -exec touch -d "@$SOURCE_DATE_EPOCH" {} +
    (cd "$staged/.." && find "$win_name" -type f | LC_ALL=C sort | TZ=UTC zip -q -X -D "$zip" -@)
    diff <(manifest "$win" | awk -v top="$win_name/" '{ print top $1 }' | LC_ALL=C sort) \
        <(unzip -Z1 "$zip" | LC_ALL=C sort) >&2 || fail "$zip: files differ from the manifest (< wanted, > found)"
    unzip -q "$zip" -d "$work/$win"
    echo "== $win: the files its README.md and pages name"
    bash scripts/release/named-paths.sh "$unpacked" || fail "$zip: its pages name files it does not hold (above)"

    # windres decodes a binary's resources back into a resource script: the VERSIONINFO block must
    # give this release in both numeric versions and in the strings, and the release's year.
    IFS=. read -r major minor patch <<<"$version"
    for file in bin/Velkano.dll capture/Velkano.dll bin/velkano-replay.exe; do
        echo "== $win: $file version resource"
        script=$("$triplet-windres" -i "$unpacked/$file" -O rc 2>/dev/null | sed 's/^ *//') ||
            fail "$file has no resources"
        for field in "FILEVERSION $major, $minor, $patch, 0" "PRODUCTVERSION $major, $minor, $patch, 0" \
            "VALUE \"FileVersion\", \"$version\"" "VALUE \"ProductVersion\", \"$version\"" \
            "VALUE \"ProductName\", \"Velkano\"" "VALUE \"OriginalFilename\", \"${file##*/}\"" \
            "VALUE \"LegalCopyright\", \"Copyright (c) $(date -u -d "@$SOURCE_DATE_EPOCH" +%Y) the Velkano developers\""; do
            grep -qxF -- "$field" <<<"$script" || fail "$win $file: its version resource lacks: $field"
        done
    done
}

# The zip's examples (examples/windows), as a host developer builds them from the zip with the
# command lines docs/windows.md gives, each exiting 0 when its pixel is right under Wine, run in
# the zip's bin/ where Windows finds Velkano.dll: with MinGW GCC, with clang for MinGW (lld, and
# MinGW GCC's libgcc folder, which Debian's clang does not know), and link_host.c, which needs no
# C library, MSVC-style (clang, lld-link, lib/Velkano.lib) with no runtime.
check_examples() {
    local win=$1 dir=$work/examples-$1 unpacked example libgcc_dir
    windows_tools "$win"
    unpacked=$(windows_unpacked "$win")
    mkdir -p "$dir"
    cd "$unpacked" || fail "no $unpacked"
    echo "== $win: the zip's examples with MinGW GCC, clang and lld-link"
    "$mingw_gcc" -std=c99 -Wall -Wextra -Werror -Iinclude examples/link_host.c lib/libVelkano.dll.a \
        -o "$dir/link_host.exe" || fail "$win: examples/link_host.c does not build with MinGW GCC"
    "$mingw_gcc" -std=c99 -Wall -Wextra -Werror examples/load_host.c -o "$dir/load_host.exe" ||
        fail "$win: examples/load_host.c does not build with MinGW GCC"
    libgcc_dir=$(dirname "$("$mingw_gcc" -print-libgcc-file-name)")
    for example in link_host load_host; do
        clang --target="$triplet" -fuse-ld=lld -L"$libgcc_dir" -std=c99 -Wall -Wextra -Werror -Iinclude \
            "examples/$example.c" lib/libVelkano.dll.a -o "$dir/${example}_clang.exe" ||
            fail "$win: examples/$example.c does not build with clang for MinGW"
    done
    if ! clang --target="$msvc_target" -ffreestanding -std=c99 -Wall -Wextra -Werror -Iinclude \
        -c examples/link_host.c -o "$dir/link_host_msvc.obj" ||
        ! lld-link /nologo /entry:main /subsystem:console /nodefaultlib "$dir/link_host_msvc.obj" \
            lib/Velkano.lib /out:"$dir/link_host_msvc.exe"; then
        fail "$win: examples/link_host.c does not link MSVC-style with lib/Velkano.lib"
    fi
    cd "$root" || fail "no $root"
    for example in link_host load_host link_host_clang load_host_clang link_host_msvc; do
        (cd "$unpacked/bin" && "${wine_command[@]}" "$dir/$example.exe") ||
            fail "$win: $example.exe exited with status $? under Wine"
    done
}
