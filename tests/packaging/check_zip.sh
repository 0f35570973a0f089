#!/usr/bin/env bash
# Builds the Windows zip with CPack and checks what it holds: cardlift.exe,
# needing no DLL beyond the system's own, and readme.txt with CR LF line ends.
# Usage: check_zip.sh <build dir> <cpack> <version> <objdump> <readme source>
set -euo pipefail
build=$1
cpack=$2
version=$3
objdump=$4
readme_src=$5
. "$(dirname "$0")/common.sh"

make_package "$cpack" "$build" ZIP
top=cardlift-$version-win32
[ -f "$tmp/$top.zip" ] || fail "no $top.zip among: $(ls "$tmp")"

mkdir "$tmp/x"
(cd "$tmp/x" && cmake -E tar xf "../$top.zip")
files=$(cd "$tmp/x" && find . -type f | sort)
[ "$files" = "./$top/cardlift.exe"$'\n'"./$top/readme.txt" ] || fail "zip contents: $files"

exe=$tmp/x/$top/cardlift.exe
[ "$(head -c 2 "$exe")" = MZ ] || fail "cardlift.exe is not a Windows program"
# The mingw runtime DLLs (libstdc++-6.dll, libgcc_s_*.dll, libwinpthread-1.dll)
# are not in the zip, so the program must not need them.
dlls=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
[ -n "$dlls" ] || fail "no imports read from cardlift.exe"
! grep -qi '^lib' <<<"$dlls" || fail "cardlift.exe needs DLLs that are not shipped: $dlls"

readme=$tmp/x/$top/readme.txt
[ "$(grep -c $'\r$' "$readme")" -eq "$(wc -l <"$readme")" ] || fail "readme.txt has lines without CR LF"
[ "$(tail -c 2 "$readme" | od -An -tx1 | tr -d ' ')" = 0d0a ] || fail "readme.txt does not end with CR LF"
tr -d '\r' <"$readme" | cmp -s - "$readme_src" || fail "readme.txt differs from its source"
echo "$top.zip holds cardlift.exe and readme.txt"
