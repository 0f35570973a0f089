#!/usr/bin/env bash
# The choice of the Windows test leg for every answer the host probes can give,
# and the 32-bit probe itself against the system's i386 loader where one is
# installed (on a host that cannot run 32-bit code it fails too).
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
[ $failed -eq 0 ] || exit 1
echo "Windows leg choice: all cases passed"
