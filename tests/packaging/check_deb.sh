#!/usr/bin/env bash
# Builds the Debian package with CPack and checks what it holds: the program,
# executable, the manual page compressed as Debian ships it, and the licence as
# the copyright file, at their places under /usr, and nothing else.
# Usage: check_deb.sh <build dir> <cpack> <version> <man page> <licence>
set -euo pipefail
build=$1
cpack=$2
version=$3
page=$4
licence=$5
. "$(dirname "$0")/common.sh"

make_package "$cpack" "$build" DEB
deb=$tmp/cardlift_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no $(basename "$deb") among: $(ls "$tmp")"

# Mode and path of every file (directories left out).
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $1, $6}' | sort)
expected=$'-rw-r--r-- ./usr/share/doc/cardlift/changelog.gz\n-rw-r--r-- ./usr/share/doc/cardlift/copyright\n-rw-r--r-- ./usr/share/man/man1/cardlift.1.gz\n-rwxr-xr-x ./usr/bin/cardlift'
[ "$files" = "$expected" ] || fail "package contents:"$'\n'"$files"

[ "$(dpkg-deb -f "$deb" Package)" = cardlift ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version"
[[ "$(dpkg-deb -f "$deb" Depends)" == *libc6* ]] || fail "Depends: $(dpkg-deb -f "$deb" Depends)"

dpkg-deb -x "$deb" "$tmp/root"
gz=$tmp/root/usr/share/man/man1/cardlift.1.gz
gzip -dc "$gz" | cmp -s - "$page" || fail "packaged man page differs"
# Best compression, and no name or time in the header (bytes 4 to 7 are the time).
[ "$(od -An -tx1 -j3 -N5 "$gz" | tr -d ' ')" = 0000000000 ] || fail "man page gzip header holds a name or time"
copyright=$tmp/root/usr/share/doc/cardlift/copyright
head -n 1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' &&
    grep -qx 'Copyright: 2026 the cardlift authors' "$copyright" && grep -qx 'License: Expat' "$copyright" ||
    fail "copyright file: $(cat "$copyright")"
# The licence's text, every line of it, as the indented body.
sed -n '/^License:/,$p' "$copyright" | tail -n +2 | sed 's/^ \.$//; s/^ //' | cmp -s - "$licence" ||
    fail "copyright file does not hold the licence as it stands"
# Lint-clean: not a single tag, warnings and pedantic ones included.
. "$(dirname "$0")/../../tools/deps.sh"
need_tool lintian lintian
lint=$(lintian --tag-display-limit 0 --pedantic "$deb" 2>&1 | grep -v '^running with root privileges' || true)
[ -z "$lint" ] || fail "lintian: $lint"
status=0
"$tmp/root/usr/bin/cardlift" >"$tmp/usage" || status=$?
[ "$status" -eq 1 ] && grep -q 'cardlift <scene.png>' "$tmp/usage" ||
    fail "packaged program: status $status, output $(cat "$tmp/usage")"
echo "package $(basename "$deb") holds the expected files"
