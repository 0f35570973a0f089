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
# can run neither. The wine loader and server are looked up where the packages
# put them (tools/windows_leg.sh); a missing one ends the leg with one line
# saying which and what to install.
#
# --dry-run prints each command of the leg instead of running it (probes and
# look-ups still run), as tests/tools/windows_leg_test.sh checks.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$here/tools/deps.sh"
. "$here/tools/windows_leg.sh"

# Every step of the leg goes through here: run, or only printed with --dry-run.
dry_run=""
run() {
    if [ -n "$dry_run" ]; then
        echo "+ $*"
    else
        "$@"
    fi
}

# The same settings as the mingw presets': no debug chatter, no Mono/Gecko
# installers, no desktop menu entries, and C.UTF-8 so that wine reads Unix
# arguments as UTF-8 and uses code page 1252. Each build has a wine prefix of
# its own.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" LC_ALL=C.UTF-8

# Runs $@ with its output kept in the file $log; on failure shows the file and
# says which step failed. For steps whose chatter nobody needs unless they fail.
run_logged() {
    local log=$1 what=$2
    shift 2
    if [ -n "$dry_run" ]; then
        echo "+ $* >$log"
        return 0
    fi
    "$@" </dev/null >"$log" 2>&1 && return 0
    local status=$?
    cat "$log" >&2
    echo "Windows test leg: $what failed with status $status (its output is above, and in $log)" >&2
    return 1
}

# Makes the wine prefix of build directory $1, once per build directory (some
# seconds; later runs start at once), and starts the one wine server the whole
# leg talks to.
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
    export WINEPREFIX="$here/$1/wineprefix"
    run mkdir -p "$WINEPREFIX"
    run_logged "$here/$1/wineserver.log" "starting the wine server ($wine_server -p)" "$wine_server" -p
    [ -n "$dry_run" ] || trap '"$wine_server" -k 2>/dev/null || true' EXIT
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        run_logged "$here/$1/wineboot.log" "making the wine prefix" "$wine_loader" wineboot -i
    fi
    run_logged "$here/$1/wine-services.log" "starting wine's services" "$wine_loader" cmd /c exit
}

# Runs the Linux end-to-end suite against the cardlift.exe of build directory
# $1 through the wine loader, once, with more threads drawing the card
# pictures than a two-core machine has, as the native suite runs (the tests
# where the number matters try 1 and 64 themselves). wine hands
# CARDLIFT_WORKERS on to the Windows program.
run_e2e_suite() {
    run_logged "$here/build/e2e-configure.log" "configuring the native build" cmake --preset default
    run cmake --build --preset default --target cardlift_e2e_tests
    echo "End-to-end suite against $1/cardlift.exe"
    # Left out by name: the tests of the Linux program's own POSIX matters
    # (signals, a preloaded library, ulimit).
    local linux_only=e2e_failure.a_run_ended_while_it_writes_leaves_no_short_card
    linux_only+=:e2e_failure.cards_reach_the_disk_before_their_names
    linux_only+=:e2e_failure.the_terminal_sees_each_percentage_at_once
    linux_only+=:e2e_failure.low_memory_loses_no_card_silently
    linux_only+=:e2e_failure.low_memory_sweep_never_ends_a_run_by_a_signal
    run env CARDLIFT_WORKERS=4 CARDLIFT_TOOL="'$wine_loader' '$here/$1/cardlift.exe'" CARDLIFT_TOOL_WINDOWS=1 \
        build/default/tests/cardlift_e2e_tests --gtest_brief=1 --gtest_filter=-$linux_only
}

main() {
    [ "${1:-}" != --dry-run ] || dry_run=1
    cd "$here"
    mkdir -p build/probe
    choose_windows_leg "${CARDLIFT_WINDOWS_LEG:-auto}" build/probe || return 1

    if [ "$windows_leg" = i686 ]; then
        run enable_i386_packages
    fi
    # shellcheck disable=SC2046 # one word a package
    run ensure_packages "${native_packages[@]}" $(windows_leg_packages "$windows_leg")
    find_wine_tools "$windows_leg" || return 1

    if [ "$windows_leg" = i686 ]; then
        start_wine_leg build/mingw
        run cmake --workflow --preset mingw
        run_e2e_suite build/mingw
    else
        # The shipped program: built, and its file and archive checks run, which
        # need no wine. Its unit tests are not built, as they could not run here;
        # nor may CPack build everything before packaging.
        run_logged "$here/build/mingw-configure.log" "configuring the i686 build" \
            cmake --preset mingw -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON
        run cmake --build --preset mingw --target cardlift cardlift_readme
        run ctest --preset mingw --tests-regex '^packaging_'

        # wine64 alone, also for the programs it starts, in a 64-bit prefix (the
        # settings of the mingw64 preset).
        export WINEARCH=win64 WINELOADER=$wine_loader
        start_wine_leg build/mingw64
        run cmake --workflow --preset mingw64
        run_e2e_suite build/mingw64
    fi
}

# Sourced by its test, which stands in for the host: then it only defines.
if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    main "$@"
fi
