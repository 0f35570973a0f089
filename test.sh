#!/usr/bin/env bash
# Builds cardlift and runs its tests. With --all it also runs the sanitizer
# build, the Windows build under wine and a short fuzz run (what CI runs).
# Every package any of them needs is installed first, in one step: no test
# installs anything.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cd "$here"
. tools/deps.sh
packages=("${native_packages[@]}" "${test_packages[@]}")
if [ "${1:-}" = "--all" ]; then
    . tools/windows_leg.sh
    mkdir -p build/probe
    choose_windows_leg "${CARDLIFT_WINDOWS_LEG:-auto}" build/probe
    [ "$windows_leg" != i686 ] || enable_i386_packages
    # shellcheck disable=SC2207 # one word a package
    packages+=($(windows_leg_packages "$windows_leg") "${fuzz_packages[@]}" "${web_packages[@]}")
fi
ensure_packages "${packages[@]}"
cmake --workflow --preset default

[ "${1:-}" = "--all" ] || exit 0
# The page first: the Windows zip ships it.
tools/test_web.sh
tools/test_windows.sh
tools/test_sanitize.sh
# About a minute of fuzzing, so that a regression shows at once.
tools/fuzz.sh 60
