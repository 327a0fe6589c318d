# shellcheck shell=bash disable=SC2154  # the variables are release.sh's
# The Windows zip of a release, sourced by scripts/release.sh: velkano-<version>-win32.zip packed
# from the release build's cross build as cmake/release-manifest.txt lists it, checked for its
# files, the files its pages name and its version resources, and unpacked into $unpacked for the
# tests release.sh runs on it; check_examples builds the examples in it.
win_name=velkano-$version-win32
zip=$dist/$win_name.zip
unpacked=$work/win32/$win_name
mingw_gcc=i686-w64-mingw32-gcc-win32

echo "== win32: $win_name.zip"
staged=$work/win32-staging/$win_name
while read -r path from; do
    [ -f "$from" ] || fail "$from is missing: it goes into the zip as $path"
    mkdir -p "$(dirname "$staged/$path")"
    cp "$from" "$staged/$path"
done < <(manifest win32)
# The same inputs give the same zip: files in name order, each dated at the release's date, no
# extra attributes, no directory entries.
find "$staged" -type f -exec touch -d "@$SOURCE_DATE_EPOCH" {} +
(cd "$staged/.." && find "$win_name" -type f | LC_ALL=C sort | TZ=UTC zip -q -X -D "$zip" -@)
diff <(manifest win32 | awk -v top="$win_name/" '{ print top $1 }' | LC_ALL=C sort) \
    <(unzip -Z1 "$zip" | LC_ALL=C sort) >&2 || fail "$zip: files differ from the manifest (< wanted, > found)"
unzip -q "$zip" -d "$work/win32"
echo "== win32: the files its README.md and pages name"
bash scripts/release/named-paths.sh "$unpacked" || fail "$zip: its pages name files it does not hold (above)"

# windres decodes a binary's resources back into a resource script: the VERSIONINFO block must
# give this release in both numeric versions and in the strings, and the release's year.
IFS=. read -r major minor patch <<<"$version"
for file in bin/Velkano.dll capture/Velkano.dll bin/velkano-replay.exe; do
    echo "== win32: $file version resource"
    script=$(i686-w64-mingw32-windres -i "$unpacked/$file" -O rc 2>/dev/null | sed 's/^ *//') ||
        fail "$file has no resources"
    for field in "FILEVERSION $major, $minor, $patch, 0" "PRODUCTVERSION $major, $minor, $patch, 0" \
        "VALUE \"FileVersion\", \"$version\"" "VALUE \"ProductVersion\", \"$version\"" \
        "VALUE \"ProductName\", \"Velkano\"" "VALUE \"OriginalFilename\", \"${file##*/}\"" \
        "VALUE \"LegalCopyright\", \"Copyright (c) $(date -u -d "@$SOURCE_DATE_EPOCH" +%Y) the Velkano developers\""; do
        grep -qxF -- "$field" <<<"$script" || fail "$file: its version resource lacks: $field"
    done
done

# The zip's examples (examples/windows), as a host developer builds them from the zip with the
# command lines docs/windows.md gives, each exiting 0 when its pixel is right under Wine, run in
# the zip's bin/ where Windows finds Velkano.dll: with MinGW GCC, with clang for MinGW (lld, and
# MinGW GCC's libgcc folder, which Debian's clang does not know), and link_host.c, which needs no
# C library, MSVC-style (clang, lld-link, lib/Velkano.lib) with no runtime.
check_examples() {
    local dir=$work/examples example libgcc_dir
    mkdir -p "$dir"
    cd "$unpacked" || fail "no $unpacked"
    echo "== win32: the zip's examples with MinGW GCC, clang and lld-link"
    "$mingw_gcc" -std=c99 -Wall -Wextra -Werror -Iinclude examples/link_host.c lib/libVelkano.dll.a \
        -o "$dir/link_host.exe" || fail "examples/link_host.c does not build with MinGW GCC"
    "$mingw_gcc" -std=c99 -Wall -Wextra -Werror examples/load_host.c -o "$dir/load_host.exe" ||
        fail "examples/load_host.c does not build with MinGW GCC"
    libgcc_dir=$(dirname "$("$mingw_gcc" -print-libgcc-file-name)")
    for example in link_host load_host; do
        clang --target=i686-w64-mingw32 -fuse-ld=lld -L"$libgcc_dir" -std=c99 -Wall -Wextra -Werror -Iinclude \
            "examples/$example.c" lib/libVelkano.dll.a -o "$dir/${example}_clang.exe" ||
            fail "examples/$example.c does not build with clang for MinGW"
    done
    if ! clang --target=i686-pc-windows-msvc -ffreestanding -std=c99 -Wall -Wextra -Werror -Iinclude \
        -c examples/link_host.c -o "$dir/link_host_msvc.obj" ||
        ! lld-link /nologo /entry:main /subsystem:console /nodefaultlib "$dir/link_host_msvc.obj" \
            lib/Velkano.lib /out:"$dir/link_host_msvc.exe"; then
        fail "examples/link_host.c does not link MSVC-style with lib/Velkano.lib"
    fi
    cd "$root" || fail "no $root"
    for example in link_host load_host link_host_clang load_host_clang link_host_msvc; do
        (cd "$unpacked/bin" && wine "$dir/$example.exe") || fail "$example.exe exited with status $? under Wine"
    done
}
