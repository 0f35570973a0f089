#!/usr/bin/env bash
# The choice of the Windows test leg for every answer the host probes can give,
# the 32-bit probe itself against the system's i386 loader where one is
# installed (on a host that cannot run 32-bit code it fails too), and the leg's
# commands, printed by its dry run, on hosts made of links: wine64 alone (its
# loader and server only in the packages' folder), wine32 on the PATH, and
# wine's server or all of wine missing.
# Usage: windows_leg_test.sh <source dir>
set -euo pipefail
. "$1/tools/windows_leg.sh"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

eval "real_$(declare -f host_runs_i386)"
ld32=/lib/ld-linux.so.2
if [ -e $ld32 ]; then
    expected=no actual=no
    $ld32 --version >/dev/null 2>&1 && expected=yes
    real_host_runs_i386 "$tmp" && actual=yes
    [ $actual = $expected ] || fail "probe says $actual, $ld32 says $expected"
    echo "i386 probe: $actual, as $ld32 says"
else
    echo "i386 probe: $(real_host_runs_i386 "$tmp" && echo yes || echo no) ($ld32 is not installed to compare with)"
fi
[ -z "$(ls -A "$tmp")" ] || fail "the probe left files behind: $(ls -A "$tmp")"

# The probes stand in for the host from here on.
host_runs_i386() { [ "$runs_i386" = yes ]; }
host_runs_amd64() { [ "$runs_amd64" = yes ]; }

# Leg asked for ("-" for none), what the host runs, the leg chosen or "fails",
# and words the one line printed must hold.
while read -r request runs_i386 runs_amd64 expected words; do
    [ "$request" != - ] || request=""
    windows_leg=""
    status=0
    choose_windows_leg "$request" "$tmp" >"$tmp/out" 2>&1 || status=$?
    line=$(cat "$tmp/out")
    what="asked '$request', i386 $runs_i386, amd64 $runs_amd64"
    if [ "$expected" = fails ]; then
        [ $status -ne 0 ] || fail "$what: chose $windows_leg instead of failing"
    else
        [ $status -eq 0 ] && [ "$windows_leg" = "$expected" ] ||
            fail "$what: status $status, leg '$windows_leg', expected $expected"
    fi
    [ "$(wc -l <"$tmp/out")" -eq 1 ] && [[ "$line" == "Windows test leg: "*"$words"* ]] ||
        fail "$what: printed '$line', expected one line with '$words'"
done <<'CASES'
- yes yes i686 i686 (this host runs 32-bit x86 programs)
auto yes yes i686 i686 (this host runs 32-bit x86 programs): cardlift.exe, its unit tests and the end-to-end suite under wine
auto yes no i686 i686 (this host runs 32-bit x86 programs)
- no yes x86_64 x86_64 (this host cannot run 32-bit x86 programs)
auto no yes x86_64 x86_64 (this host cannot run 32-bit x86 programs): the i686 cardlift.exe checked as files, the x86-64 build's unit tests and end-to-end suite under wine64
auto no no fails none can run
- no no fails none can run
x86_64 yes yes x86_64 x86_64 (as CARDLIFT_WINDOWS_LEG asks; 32-bit x86 programs run here: yes)
x86_64 no yes x86_64 x86_64 (as CARDLIFT_WINDOWS_LEG asks; 32-bit x86 programs run here: no)
x86_64 yes no fails x86_64, as CARDLIFT_WINDOWS_LEG asks, cannot run
i686 yes no i686 i686 (as CARDLIFT_WINDOWS_LEG asks; 32-bit x86 programs run here: yes)
i686 no yes fails i686, as CARDLIFT_WINDOWS_LEG asks, cannot run
x86 yes yes fails CARDLIFT_WINDOWS_LEG is x86, not auto, i686 or x86_64
I686 yes yes fails CARDLIFT_WINDOWS_LEG is I686
CASES

# A host's programs without any of wine's: every program of /usr/bin and /bin
# but wine*, as links in one folder that stands for the PATH.
mkdir "$tmp/path"
for f in /usr/bin/* /bin/*; do
    # Nor any package tool: a dry run must install nothing, and could not.
    case ${f##*/} in wine* | apt* | dpkg*) continue ;; esac
    [ -e "$tmp/path/${f##*/}" ] || ln -s "$f" "$tmp/path/${f##*/}"
done
# Makes a link named $2 to a do-nothing program in the folder $1.
wine_file() { mkdir -p "$1" && ln -s /bin/true "$1/$2"; }

# The leg's dry run works in a checkout of its own, never in the one under
# test: what a real leg left in build/ (a wine prefix made) changes the
# commands, and the suites run again after the real leg in the same checkout.
checkout=$tmp/checkout
mkdir "$checkout"

# The leg's dry run on a host that runs 32-bit code or not ($2), with wine's
# packages' folder $3 and extra PATH folder $4 (both may be empty or missing);
# prints what the leg printed and returns its status.
dry_run_leg() {
    (
        . "$1/tools/test_windows.sh"
        host_runs_i386() { [ "$runs_i386" = yes ]; }
        host_runs_amd64() { true; }
        runs_i386=$2 wine_lib=$3 here=$checkout
        # The host probes choose the leg here, whatever leg this run was asked for.
        unset CARDLIFT_WINDOWS_LEG
        PATH="${4:+$4:}$tmp/path"
        main --dry-run
    )
}

# Fails unless every pattern of the array named $3 matches a line of the file
# $2; $1 says which case it is.
expect_lines() {
    local what=$1 out=$2 line printed found
    local -n patterns=$3
    for line in "${patterns[@]}"; do
        found=no
        while IFS= read -r printed; do
            # shellcheck disable=SC2053 # the line is a pattern
            [[ "$printed" == $line ]] && found=yes
        done <"$out"
        [ $found = yes ] || fail "$what: no line like '$line' in: $(cat "$out")"
    done
}

# wine64 alone, as Debian installs it: the loader and the server only in
# /usr/lib/wine, nothing of wine on the PATH. First with no wine prefix yet,
# then with the one an earlier run of the leg made.
lib64=$tmp/wine64/usr/lib/wine
wine_file "$lib64" wine64
wine_file "$lib64" wineserver64
wine_file "$lib64" wineserver
common_lines=(
    "Windows test leg: x86_64 (this host cannot run 32-bit x86 programs)*"
    "Windows test leg: wine loader $lib64/wine64, server $lib64/wineserver"
    "+ * g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64"
    "+ $lib64/wineserver -p >$checkout/build/mingw64/wineserver.log"
    "+ $lib64/wine64 cmd /c exit >*"
    "+ cmake --workflow --preset mingw64"
    "+ env CARDLIFT_WORKERS=4 CARDLIFT_TOOL='$lib64/wine64' '$checkout/build/mingw64/cardlift.exe' *"
)
new_prefix=("${common_lines[@]}" "+ $lib64/wine64 wineboot -i >$checkout/build/mingw64/wineboot.log")
for prefix in new existing; do
    what="wine64 alone, $prefix wine prefix"
    if [ $prefix = existing ]; then
        mkdir -p "$checkout/build/mingw64/wineprefix"
        touch "$checkout/build/mingw64/wineprefix/system.reg"
    fi
    status=0
    dry_run_leg "$1" no "$lib64" "" >"$tmp/out" 2>&1 || status=$?
    [ $status -eq 0 ] || fail "$what: status $status: $(cat "$tmp/out")"
    if [ $prefix = new ]; then
        expect_lines "$what" "$tmp/out" new_prefix
    else
        expect_lines "$what" "$tmp/out" common_lines
        grep -q wineboot "$tmp/out" && fail "$what: the prefix is made again: $(cat "$tmp/out")"
    fi
    grep -q wine32 "$tmp/out" && fail "$what: the leg asks for wine32: $(cat "$tmp/out")"
done

# The i686 leg: wine's loader and server on the PATH (package wine's links).
bin32=$tmp/wine32/usr/bin
wine_file "$bin32" wine
wine_file "$bin32" wineserver
status=0
dry_run_leg "$1" yes "$tmp/wine32/usr/lib/wine" "$bin32" >"$tmp/out" 2>&1 || status=$?
[ $status -eq 0 ] && grep -qxF "Windows test leg: wine loader $bin32/wine, server $bin32/wineserver" "$tmp/out" &&
    grep -qxF "+ $bin32/wineserver -p >$checkout/build/mingw/wineserver.log" "$tmp/out" &&
    grep -qxF "+ cmake --workflow --preset mingw" "$tmp/out" ||
    fail "wine32 on the PATH: status $status: $(cat "$tmp/out")"

# What is missing is said in one line, with what to install, and ends the leg
# before any of its commands.
nosrv=$tmp/noserver/usr/lib/wine
wine_file "$nosrv" wine64
while read -r folder expected; do
    status=0
    dry_run_leg "$1" no "$folder" "" >"$tmp/out" 2>&1 || status=$?
    last=$(tail -n 1 "$tmp/out")
    [ $status -ne 0 ] && [[ "$last" == "Windows test leg: $expected"* ]] &&
        ! grep -q '^+ cmake' "$tmp/out" ||
        fail "missing in $folder: status $status, last line '$last', expected '$expected'"
done <<CASES
$nosrv wineserver is missing: not in $nosrv nor on the PATH; install the package wine64 or wine32
$tmp/none wine64 is missing: not in $tmp/none nor on the PATH; install the package wine64
CASES

[ $failed -eq 0 ] || exit 1
echo "Windows leg choice and commands: all cases passed"
