# shellcheck shell=bash disable=SC2154  # the variables are release.sh's
# The Windows zip of a release, sourced by scripts/release.sh: velkano-<version>-win32.zip packed
# from the release build's cross build as cmake/release-manifest.txt lists it, checked for its
# files and version resources, and unpacked into $unpacked for the tests release.sh runs on it;
# check_examples builds examples/windows from it.
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

# examples/windows, as a host developer builds them from the zip, each exiting 0 when its pixel
# is right under Wine, run in the zip's bin/ where Windows finds Velkano.dll. link_host.c needs
# no C library, so it also links MSVC-style (clang, lld-link, lib/Velkano.lib) with no runtime.
check_examples() {
    local dir=$work/examples example
    mkdir -p "$dir"
    echo "== win32: examples/windows with MinGW GCC, and link_host.c with lld-link and lib/Velkano.lib"
    "$mingw_gcc" -std=c99 -Wall -Wextra -Werror -I"$unpacked/include" examples/windows/link_host.c \
        "$unpacked/lib/libVelkano.dll.a" -o "$dir/link_host.exe" || fail "examples/windows/link_host.c does not build"
    "$mingw_gcc" -std=c99 -Wall -Wextra -Werror examples/windows/load_host.c -o "$dir/load_host.exe" ||
        fail "examples/windows/load_host.c does not build"
    if ! clang --target=i686-pc-windows-msvc -ffreestanding -std=c99 -Wall -Wextra -Werror -I"$unpacked/include" \
        -c examples/windows/link_host.c -o "$dir/link_host_msvc.obj" ||
        ! lld-link /nologo /entry:main /subsystem:console /nodefaultlib "$dir/link_host_msvc.obj" \
            "$unpacked/lib/Velkano.lib" /out:"$dir/link_host_msvc.exe"; then
        fail "examples/windows/link_host.c does not link MSVC-style with lib/Velkano.lib"
    fi
    for example in link_host load_host link_host_msvc; do
        (cd "$unpacked/bin" && wine "$dir/$example.exe") || fail "$example.exe exited with status $? under Wine"
    done
}
