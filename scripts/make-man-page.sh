#!/usr/bin/env bash
# Makes the velkano(3) manual page from docs/api.md, so the two cannot disagree: pandoc (Debian's
# pandoc) with the filter docs/man/man-page.lua. The page is committed as docs/man/velkano.3 and
# installed, gzipped, by the development package.
#   scripts/make-man-page.sh                 writes docs/man/velkano.3 (run it after editing api.md)
#   scripts/make-man-page.sh --check FILE    writes FILE and fails unless it is docs/man/velkano.3
#                                            and man shows it without a warning (ctest man_page_current)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
committed=$top/docs/man/velkano.3
check=
out=$committed
if [ "${1:-}" = --check ]; then
    check=1
    out=${2:?usage: make-man-page.sh [--check FILE]}
fi
command -v pandoc >/dev/null || { echo "make-man-page: pandoc not found (Debian package pandoc)" >&2; exit 1; }

pandoc --from gfm --to man --standalone --lua-filter "$top/docs/man/man-page.lua" \
    --metadata title=VELKANO --metadata section=3 --metadata footer=Velkano \
    --metadata header="Library Functions Manual" --output "$out" "$top/docs/api.md"
[ -n "$check" ] || exit 0

# The tables must fit an 80-column terminal: lintian reads man's warnings too.
warnings=$(MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$out" 2>&1 >/dev/null) ||
    { echo "make-man-page: man cannot show $out" >&2; exit 1; }
if [ -n "$warnings" ]; then
    echo "make-man-page: man warns about $out:" >&2
    echo "$warnings" >&2
    exit 1
fi
if ! diff -u "$committed" "$out" >&2; then
    echo "make-man-page: docs/man/velkano.3 is not what docs/api.md gives (diff above, - committed," \
        "+ made now). Run scripts/make-man-page.sh and commit docs/man/velkano.3." >&2
    exit 1
fi
