#!/usr/bin/env bash
# Checks that the files an unpacked release archive's pages name are in the archive, so its
# README never sends a reader to a file only the repository has.
# Usage: bash scripts/release/named-paths.sh <the archive's top folder>
#
# What counts as a named path (outside fenced code blocks, whose commands hold the reader's own
# files and shell words):
#   - in every .md file of the archive, each relative link target, [text](target), ![alt](target)
#     or `[label]: target`, without its #fragment, from the page's own folder; targets with a
#     scheme (https:, mailto:) and bare #fragments are not files;
#   - in the top README.md also each `backticked` span that is a path: only letters, digits and
#     . _ - / * (so no spaces, $, =, <, :, @: commands, variables, placeholders, entry points),
#     not starting with - or /, and either holding a / (but no part of one character: u/z is
#     arithmetic) or, not starting with ., ending in a file type the archives carry (.dll .exe
#     .lib .a .h .def .md .png .so .pc .cmake .gz .txt). One with a / is a path from the top
#     folder (a trailing / a folder, a * a pattern that must match); one without is a file name
#     that some file of the archive must have.
# Exit status 1, naming each page and path, when one is missing.
set -euo pipefail

if [ $# != 1 ] || [ ! -d "$1" ]; then
    echo "usage: $0 <unpacked archive folder>" >&2
    exit 2
fi
top=${1%/}

# "link <target>" and "code <span>" for each candidate of the page $1, one a line.
candidates() {
    awk '
        /^[ \t]*(```|~~~)/ { fenced = !fenced; next }
        fenced { next }
        {
            line = $0
            rest = line
            while (match(rest, /`[^`]+`/)) {
                print "code " substr(rest, RSTART + 1, RLENGTH - 2)
                rest = substr(rest, RSTART + RLENGTH)
            }
            gsub(/`[^`]+`/, "", line)  # a link written inside code is not a link
            if (match(line, /^[ \t]*\[[^]]+\]:[ \t]*[^ \t]+/)) {
                definition = substr(line, RSTART, RLENGTH)
                sub(/^[ \t]*\[[^]]+\]:[ \t]*/, "", definition)
                print "link " definition
            }
            while (match(line, /\]\([^) \t]+/)) {
                print "link " substr(line, RSTART + 2, RLENGTH - 2)
                line = substr(line, RSTART + RLENGTH)
            }
        }' "$1"
}

is_path() {
    [[ "$1" =~ ^[A-Za-z0-9._*/-]+$ && "$1" != -* && "$1" != /* ]] || return 1
    if [[ "$1" == */* ]]; then
        [[ ! "/$1/" =~ /[^./]/ ]]  # u/z or 1/z is arithmetic
    else
        [[ "$1" != .* && "$1" =~ \.(dll|exe|lib|a|h|def|md|png|so|pc|cmake|gz|txt)$ ]]
    fi
}

missing=0
report() {
    echo "${page#"$top"/}: names $1, which the archive does not hold" >&2
    missing=1
}

while IFS= read -r -d '' page; do
    dir=$(dirname "$page")
    while read -r kind name; do
        if [ "$kind" = link ]; then
            [[ "$name" =~ ^[A-Za-z][A-Za-z0-9+.-]*: || "$name" == \#* ]] && continue
            target=${name%%#*}
            [ -e "$dir/$target" ] || report "the link $name"
        elif [ "$page" = "$top/README.md" ] && is_path "$name"; then
            if [[ "$name" == */* ]]; then
                if [[ "$name" == */ ]]; then
                    [ -d "$top/$name" ] || report "the folder \`$name\`"
                else
                    compgen -G "$top/$name" >/dev/null || report "\`$name\`"
                fi
            elif [ -z "$(find "$top" -name "$name" -print -quit)" ]; then
                report "the file name \`$name\`"
            fi
        fi
    done < <(candidates "$page")
done < <(find "$top" -name '*.md' -type f -print0 | LC_ALL=C sort -z)
exit "$missing"
