#!/usr/bin/env bash
# Builds cardlift and runs its tests. With --all it also runs the sanitizer
# build, the Windows build under wine and a short fuzz run (what CI runs).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cd "$here"
. tools/deps.sh
ensure_packages "${native_packages[@]}"
cmake --workflow --preset default

[ "${1:-}" = "--all" ] || exit 0
# Further suites (sanitizers, Windows under wine, fuzzing) are added below.
tools/test_windows.sh
tools/test_sanitize.sh
# About a minute of fuzzing, so that a regression shows at once.
tools/fuzz.sh 60
