#!/usr/bin/env bash
# Builds the Debian package with CPack and checks what it holds: the program,
# executable, and the manual page, at their places under /usr, and nothing else.
# Usage: check_deb.sh <build dir> <cpack> <version> <man page>
set -euo pipefail
build=$1
cpack=$2
version=$3
page=$4
. "$(dirname "$0")/common.sh"

make_package "$cpack" "$build" DEB
deb=$tmp/cardlift_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no $(basename "$deb") among: $(ls "$tmp")"

# Mode and path of every file (directories left out).
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $1, $6}' | sort)
expected=$'-rw-r--r-- ./usr/share/man/man1/cardlift.1\n-rwxr-xr-x ./usr/bin/cardlift'
[ "$files" = "$expected" ] || fail "package contents:"$'\n'"$files"

[ "$(dpkg-deb -f "$deb" Package)" = cardlift ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version"
[[ "$(dpkg-deb -f "$deb" Depends)" == *libc6* ]] || fail "Depends: $(dpkg-deb -f "$deb" Depends)"

dpkg-deb -x "$deb" "$tmp/root"
cmp -s "$tmp/root/usr/share/man/man1/cardlift.1" "$page" || fail "packaged man page differs"
status=0
"$tmp/root/usr/bin/cardlift" >"$tmp/usage" || status=$?
[ "$status" -eq 1 ] && grep -q 'cardlift <scene.png>' "$tmp/usage" ||
    fail "packaged program: status $status, output $(cat "$tmp/usage")"
echo "package $(basename "$deb") holds the expected files"
