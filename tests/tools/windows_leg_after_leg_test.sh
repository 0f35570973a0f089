#!/usr/bin/env bash
# The Windows leg's own test, run in a checkout where real legs have already
# run: both wine prefixes made, as .ci/run leaves them before the sanitizer
# suites run every test again. Its answers must not change.
# Usage: windows_leg_after_leg_test.sh <source dir>
set -euo pipefail
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/src/tests"
cp -R "$1/tools" "$tmp/src/tools"
cp -R "$1/tests/tools" "$tmp/src/tests/tools"
for build in mingw mingw64; do
    mkdir -p "$tmp/src/build/$build/wineprefix"
    : >"$tmp/src/build/$build/wineprefix/system.reg"
done
bash "$tmp/src/tests/tools/windows_leg_test.sh" "$tmp/src"
