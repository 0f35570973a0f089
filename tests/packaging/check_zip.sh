#!/usr/bin/env bash
# Builds the Windows zip with CPack and checks what it holds: cardlift.exe, a
# console program for the build's processor needing no DLL beyond the system's
# own, and readme.txt and LICENSE.txt with CR LF line ends. Reads the files
# only, so it runs where wine cannot run the program.
# Usage: check_zip.sh <build dir> <cpack> <archive name> <objdump> <readme source> <PE format> <licence> [page shipped: 0 or 1]
# with the PE format pei-i386 (the shipped program) or pei-x86-64.
set -euo pipefail
build=$1
cpack=$2
top=$3
objdump=$4
readme_src=$5
format=$6
licence=$7
. "$(dirname "$0")/common.sh"

case $format in
pei-i386) magic='010b (PE32)' ;;
pei-x86-64) magic='020b (PE32+)' ;;
*) fail "unknown PE format $format" ;;
esac

make_package "$cpack" "$build" ZIP
[ -f "$tmp/$top.zip" ] || fail "no $top.zip among: $(ls "$tmp")"

mkdir "$tmp/x"
(cd "$tmp/x" && cmake -E tar xf "../$top.zip")
files=$(cd "$tmp/x" && find . -type f | sort)
expected="./$top/LICENSE.txt"$'\n'"./$top/cardlift.exe"
# The web page, when the build found it (argument 8: 1).
[ "${8:-0}" = 1 ] && expected+=$'\n'"./$top/cardlift.html"
expected+=$'\n'"./$top/readme.txt"
[ "$files" = "$expected" ] || fail "zip contents: $files"

exe=$tmp/x/$top/cardlift.exe
[ "$(head -c 2 "$exe")" = MZ ] || fail "cardlift.exe is not a Windows program"
file_header=$("$objdump" -f "$exe")
grep -q "file format $format\$" <<<"$file_header" || fail "cardlift.exe is not $format: $file_header"
headers=$("$objdump" -p "$exe" | tr -s '\t' ' ')
grep -qx "Magic $magic" <<<"$headers" || fail "cardlift.exe is not $magic"
# Subsystem 3 opens a console window when started from the Explorer.
grep -qx 'Subsystem 00000003 (Windows CUI)' <<<"$headers" || fail "cardlift.exe is not a console program"
# The mingw runtime DLLs (libstdc++-6.dll, libgcc_s_*.dll, libwinpthread-1.dll)
# are not in the zip, so the program may need only what every Windows has.
dlls=$(sed -n 's/^ *DLL Name: //p' <<<"$headers" | sort)
[ "$dlls" = $'KERNEL32.dll\nmsvcrt.dll' ] || fail "cardlift.exe imports: $dlls"

# Text files as Notepad wants them, CR LF throughout, otherwise as in the source.
check_text() {
    local file=$tmp/x/$top/$1
    [ "$(grep -c $'\r$' "$file")" -eq "$(wc -l <"$file")" ] || fail "$1 has lines without CR LF"
    [ "$(tail -c 2 "$file" | od -An -tx1 | tr -d ' ')" = 0d0a ] || fail "$1 does not end with CR LF"
    tr -d '\r' <"$file" | cmp -s - "$2" || fail "$1 differs from its source"
}
check_text readme.txt "$readme_src"
check_text LICENSE.txt "$licence"
echo "$top.zip holds cardlift.exe, readme.txt and LICENSE.txt"
