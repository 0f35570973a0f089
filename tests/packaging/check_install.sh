#!/usr/bin/env bash
# Installs the build into a throw-away prefix, then runs the installed program
# on a freshly generated scene from a directory of its own, as a user would.
# Usage: check_install.sh <build dir> <make_demo_scene>
set -euo pipefail
build=$1
make_scene=$2
. "$(dirname "$0")/common.sh"

cmake --install "$build" --prefix "$tmp/prefix" >"$tmp/install.log" 2>&1 ||
    fail "cmake --install: $(cat "$tmp/install.log")"
installed=$(cd "$tmp/prefix" && find . -type f | sort)
[ "$installed" = $'./bin/cardlift\n./share/doc/cardlift/changelog.gz\n./share/doc/cardlift/copyright\n./share/man/man1/cardlift.1.gz' ] ||
    fail "installed files: $installed"
[ -x "$tmp/prefix/bin/cardlift" ] || fail "bin/cardlift is not executable"

"$make_scene" "$tmp/scene.png"
mkdir "$tmp/cards"
cd "$tmp/cards"
arg=../scene.png
status=0
"$tmp/prefix/bin/cardlift" "$arg" >"$tmp/out" 2>"$tmp/err" || status=$?
[ "$status" -eq 0 ] || fail "exit status $status"
[ ! -s "$tmp/err" ] || fail "standard error: $(cat "$tmp/err")"

# The closing line overwrites the progress line: "\rExtracted N character(s)...\r\n".
summary=$(tr '\r' '\n' <"$tmp/out" | tail -n 2 | head -n 1)
[[ "$summary" =~ ^Extracted\ ([0-9]+)\ characters?( \([0-9]+\ duplications?\ skipped\))?\.$ ]] ||
    fail "summary: $summary"
count=${BASH_REMATCH[1]}
[ "$(tail -c 2 "$tmp/out" | od -An -c | tr -d ' ')" = '\r\n' ] || fail "output does not end with CR LF"

# The tag is the CRC-32 of the argument text; gzip's trailer carries the same
# checksum (little-endian), which gives an independent reference.
crc=$(printf '%s' "$arg" | gzip -c | tail -c 8 | head -c 4 | od -An -tx1 | awk '{print $4 $3 $2 $1}')
tag=$(printf '%04X' "0x$crc")
cards=$(ls)
[ "$(wc -l <<<"$cards")" -eq "$count" ] || fail "summary says $count, files: $cards"
for ((n = 1; n <= count; n++)); do
    card=$(grep -E "^[A-Z0-9]+_[FM]_${tag}_$(printf '%03u' "$n")\.png$" <<<"$cards") ||
        fail "no card number $n with tag $tag among: $cards"
    [ "$(head -c 8 "$card" | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a ] ||
        fail "$card does not start with a PNG image"
done
echo "installed program extracted $count cards"
