#!/usr/bin/env bash
# Builds the 32-bit Windows cardlift.exe with mingw-w64 and tests it under wine:
# the unit tests as Windows programs (CTest runs them through wine), then the
# whole end-to-end suite, the Linux test program, a second time against
# cardlift.exe. Installs what is missing. Part of ./test.sh --all.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"
. tools/deps.sh

# wine32 is built for i386 only.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo dpkg --add-architecture i386
fi
ensure_packages "${native_packages[@]}" g++-mingw-w64-i686 wine wine32

# The same settings as the mingw preset's: a wine prefix of this build's own,
# no debug chatter, no Mono/Gecko installers, no desktop menu entries, and
# C.UTF-8 so that wine reads Unix arguments as UTF-8 and uses code page 1252.
export WINEPREFIX="$here/build/mingw/wineprefix"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" LC_ALL=C.UTF-8
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    # Once per build directory, some seconds; later runs start at once.
    mkdir -p build/mingw
    log=build/mingw/wineboot.log
    wineboot -i >"$log" 2>&1 || { cat "$log" >&2; exit 1; }
fi

cmake --workflow --preset mingw

# The Linux end-to-end suite drives cardlift.exe through wine.
cmake --preset default >/dev/null
cmake --build --preset default --target cardlift_e2e_tests
CARDLIFT_TOOL="wine '$here/build/mingw/cardlift.exe'" CARDLIFT_TOOL_WINDOWS=1 \
    build/default/tests/cardlift_e2e_tests --gtest_brief=1
