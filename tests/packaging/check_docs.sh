#!/usr/bin/env bash
# The manual page renders without a single warning under both groff and
# mandoc; every marker the program knows is documented with its prefix in the
# manual page, docs/usage.md and the Windows readme, those of later games too;
# every message is documented; and what the README, docs/usage.md, the manual
# page, the Windows readme and --help say of the options, the usage errors and
# the exit statuses is what the code has.
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
    grep -qE "^\| *【$name】 *\| *$prefix *\|" "$src/docs/usage.md" ||
        fail "docs/usage.md: no table row for $name with prefix $prefix"
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
        grep -qF -- "$part" "$src/docs/usage.md" || fail "docs/usage.md: no message with '$part' (of '$format')"
        grep -qF -- "$part" <<<"$page_text" || fail "man page: no message with '$part' (of '$format')"
    done < <(sed 's/\\r\\n//g; s/%[a-z%]*/\n/g' <<<"$format")
done <<<"$formats"
# The help text, as process.cc prints it (its string literals, escapes read).
help=$(sed -n '/^void print_help() {/,/^}/p' "$src/src/cli/process.cc" | sed -n 's/^ *"\(.*\)\\r\\n"$/\1/p' |
    sed 's/\\"/"/g; s/\\\\/\\/g')
[ -n "$help" ] || fail "no help text read from src/cli/process.cc"
readme_txt=$(tr -d '\r' <"$src/packaging/readme.txt")
# Every long option the code knows (options.h and driver.h spell them).
options=$(sed -n 's/^constexpr char [a-z_]*_option\[\] = "\(--[a-z-]*\)";/\1/p' \
    "$src/src/cli/options.h" "$src/src/run/driver.h")
[ "$(wc -l <<<"$options")" -ge 9 ] || fail "expected at least 9 long options, read: $options"
while read -r option; do
    for doc in README.md docs/usage.md; do
        grep -qF -- "\`$option" "$src/$doc" || fail "$doc: no word of $option"
    done
    grep -qF -- "$(sed 's/-/\\-/g' <<<"$option")" "$page" || fail "man page: no word of $option"
    grep -qF -- "$option" <<<"$readme_txt" || fail "packaging/readme.txt: no word of $option"
    grep -qF -- "  $option" <<<"$help" || fail "--help: no line for $option"
done <<<"$options"
# Every usage error's words (the literal parts of each usage_error call).
errors=$(grep -o 'usage_error([^;]*' "$src/src/cli/options.cc" |
    perl -ne 'while (/"((?:[^"\\]|\\.)*)"/g) { my $w = $1; $w =~ s/^ +| +$//g; print "$w\n" if length($w) >= 8 }' |
    sort -u)
[ "$(wc -l <<<"$errors")" -ge 4 ] || fail "expected at least 4 usage errors, read: $errors"
while read -r words; do
    for doc in README.md docs/usage.md; do
        grep -qF -- "$words" "$src/$doc" || fail "$doc: no usage error with '$words'"
    done
    grep -qF -- "$words" <<<"$page_text" || fail "man page: no usage error with '$words'"
    grep -qF -- "$words" <<<"$readme_txt" || fail "packaging/readme.txt: no usage error with '$words'"
done <<<"$errors"
# The exit statuses 0, 1 and 2 in every document and the help.
for status in 0 1 2; do
    grep -qE "^\| $status \|" "$src/README.md" || fail "README.md: no row for exit status $status"
    grep -qE "^\| $status \|" "$src/docs/usage.md" || fail "docs/usage.md: no row for exit status $status"
    grep -qxF ".B $status" "$page" || fail "man page: no entry for exit status $status"
    grep -qE "^  $status  " <<<"$readme_txt" || fail "packaging/readme.txt: no entry for exit status $status"
done
grep -qF "Exit status: 0" <<<"$help" && grep -qF "; 1 when" <<<"$help" && grep -qF "; 2 for a usage error" <<<"$help" ||
    fail "--help: the exit statuses 0, 1 and 2"
echo "documentation checks passed"
