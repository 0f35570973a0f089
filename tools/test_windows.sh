#!/usr/bin/env bash
# Builds cardlift.exe with mingw-w64 and tests it under wine. Part of
# ./test.sh --all. First finds out what this host can run, says in one line
# which leg runs and why, and installs only what that leg needs:
#
#   i686    where the host runs 32-bit x86 programs: the shipped 32-bit
#           cardlift.exe (build/mingw), its unit tests as Windows programs
#           (CTest runs them through wine) and the file checks of the .exe and
#           its zip, then the whole end-to-end suite, the Linux test program,
#           against cardlift.exe, with one thread drawing the card pictures
#           and again with four.
#   x86_64  where it cannot: the 32-bit cardlift.exe is still built and
#           checked as files (PE32 i386 console program importing only
#           KERNEL32.dll and msvcrt.dll, the zip), then the same sources are
#           built as a 64-bit Windows program (build/mingw64) whose unit tests
#           and end-to-end suite run under wine64.
#
# CARDLIFT_WINDOWS_LEG=i686 or x86_64 asks for a leg instead of the choice
# above (auto); a leg that cannot run on this host fails, as does a host that
# can run neither.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"
. tools/deps.sh
. tools/windows_leg.sh

mkdir -p build/probe
choose_windows_leg "${CARDLIFT_WINDOWS_LEG:-auto}" build/probe

# The same settings as the mingw presets': no debug chatter, no Mono/Gecko
# installers, no desktop menu entries, and C.UTF-8 so that wine reads Unix
# arguments as UTF-8 and uses code page 1252. Each build has a wine prefix of
# its own.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" LC_ALL=C.UTF-8

# Makes the wine prefix of build directory $2 with the wine loader $1, once per
# build directory (some seconds; later runs start at once), and starts the one
# wine server the whole leg talks to.
#
# Left to itself, wine's server quits a few seconds after its last client, and
# a client that starts meanwhile races its shutdown: CTest starts a wine
# process for every test, two at a time, and now and then one of them died
# with "wine client error:0: recvmsg: Connection reset by peer" or printed
# nothing at all. A persistent server (-p) lives from before the prefix is
# made to the end of the leg, whatever the outcome (the EXIT trap), and the
# prefix's services (services.exe, winedevice and the rest) are started once
# here, detached from every test's output: a service started by a test would
# inherit that test's pipe and keep CTest waiting for it to close.
start_wine_leg() {
    export WINEPREFIX="$here/$2/wineprefix"
    mkdir -p "$WINEPREFIX"
    wineserver -p </dev/null >/dev/null 2>&1
    trap 'wineserver -k 2>/dev/null || true' EXIT
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        "$1" wineboot -i >"$2/wineboot.log" 2>&1 || { cat "$2/wineboot.log" >&2; return 1; }
    fi
    "$1" cmd /c exit </dev/null >/dev/null 2>&1
}

# Runs the Linux end-to-end suite against the cardlift.exe of build directory
# $2 through the wine loader $1: with one thread drawing the card pictures, and
# with more threads than a two-core machine has, so that pictures finish out of
# scan order. wine hands CARDLIFT_WORKERS on to the Windows program.
run_e2e_suite() {
    cmake --preset default >/dev/null
    cmake --build --preset default --target cardlift_e2e_tests
    local workers
    for workers in 1 4; do
        echo "End-to-end suite against $2/cardlift.exe with CARDLIFT_WORKERS=$workers"
        # The run ended by POSIX signals is the Linux program's alone: left out.
        CARDLIFT_WORKERS=$workers CARDLIFT_TOOL="'$1' '$here/$2/cardlift.exe'" CARDLIFT_TOOL_WINDOWS=1 \
            build/default/tests/cardlift_e2e_tests --gtest_brief=1 \
            --gtest_filter=-e2e_failure.a_run_ended_while_it_writes_leaves_no_short_card
    done
}

if [ "$windows_leg" = i686 ]; then
    # wine32 is built for i386 only.
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        sudo=""
        [ "$(id -u)" -eq 0 ] || sudo="sudo"
        $sudo dpkg --add-architecture i386
    fi
    ensure_packages "${native_packages[@]}" g++-mingw-w64-i686 wine wine32
    start_wine_leg wine build/mingw
    cmake --workflow --preset mingw
    run_e2e_suite wine build/mingw
else
    ensure_packages "${native_packages[@]}" g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64
    # The shipped program: built, and its file and archive checks run, which
    # need no wine. Its unit tests are not built, as they could not run here;
    # nor may CPack build everything before packaging.
    cmake --preset mingw -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
    cmake --build --preset mingw --target cardlift cardlift_readme
    ctest --preset mingw --tests-regex '^packaging_'

    # wine64 alone, also for the programs it starts, in a 64-bit prefix (the
    # settings of the mingw64 preset).
    wine64=/usr/lib/wine/wine64
    export WINEARCH=win64 WINELOADER=$wine64
    start_wine_leg $wine64 build/mingw64
    cmake --workflow --preset mingw64
    run_e2e_suite $wine64 build/mingw64
fi
