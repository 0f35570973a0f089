#!/usr/bin/env bash
# The manual page renders without a single warning under both groff and
# mandoc, and every marker the program knows is documented with its prefix in
# the manual page, the README and the Windows readme, those of later games too.
# Usage: check_docs.sh <source dir>
set -euo pipefail
src=$1
page=$src/man/cardlift.1
fail() { echo "FAIL: $*" >&2; exit 1; }

. "$src/tools/deps.sh"
need_tool groff groff-base
need_tool mandoc mandoc

# tbl is what man runs for this page; plain -man is what a bare check runs.
for cmd in "groff -t -man -ww -z" "groff -man -ww -z" "mandoc -T lint -W all"; do
    out=$($cmd "$page" 2>&1) || fail "$cmd: exit status $?: $out"
    [ -z "$out" ] || fail "$cmd: $out"
done

# Rows of the marker table look like: {OPEN "KoiKatuChara" CLOSE, 18, "KK", ...
rows=$(sed -n 's/^ *{OPEN "\([^"]*\)" CLOSE, *[0-9]*, *"\([^"]*\)".*/\1 \2/p' \
    "$src/src/scene/marker_table.cc")
[ "$(wc -l <<<"$rows")" -eq 13 ] || fail "expected 13 marker rows in marker_table.cc, read: $rows"
while read -r name prefix; do
    grep -qF "\\[u3010]$name\\[u3011]@$prefix@" "$page" ||
        fail "man page: no table row for $name with prefix $prefix"
    grep -qE "^\| *【$name】 *\| *$prefix *\|" "$src/README.md" ||
        fail "README.md: no table row for $name with prefix $prefix"
    grep -qE "^ *\[$name\] +$prefix +" "$src/packaging/readme.txt" ||
        fail "packaging/readme.txt: no table row for $name with prefix $prefix"
done <<<"$rows"
# Every message the program prints on standard error is documented: each
# fixed part (of 8 characters or more) of its format text, between the
# conversions, stands in the README and in the manual page (read without its
# escapes).
page_text=$(sed 's/\\-/-/g; s/\\&//g' "$page")
formats=$(sed -n 's/.*text_printf(\(stderr\|err\), *"\([^"]*\)".*/\2/p' "$src"/src/*/*.cc)
[ "$(wc -l <<<"$formats")" -ge 6 ] || fail "expected at least 6 messages on standard error, read: $formats"
while read -r format; do
    while read -r part; do
        part=$(sed 's/^ *//; s/ *$//' <<<"$part")
        [ ${#part} -ge 8 ] || continue
        grep -qF -- "$part" "$src/README.md" || fail "README.md: no message with '$part' (of '$format')"
        grep -qF -- "$part" <<<"$page_text" || fail "man page: no message with '$part' (of '$format')"
    done < <(sed 's/\\r\\n//g; s/%[a-z%]*/\n/g' <<<"$format")
done <<<"$formats"
echo "documentation checks passed"
