#!/usr/bin/env bash
# The page's benchmark: builds the page and a Release program, makes the
# scene of 64 characters with faces (make_cast_scene's crowd.png) and times
# both side by side (bench/page_bench.mjs). Fails when the page takes more
# than 1.5 times the program's time.
#
#   tools/bench_page.sh [repetitions] [workers]     (default 5, 2)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"
. tools/deps.sh
build_web_page >/dev/null
build=build/bench-page
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j2 --target cardlift make_cast_scene >/dev/null
ensure_playwright "$build/node"
cp bench/page_bench.mjs "$build/node/"
mkdir -p "$build/scenes"
"$build/make_cast_scene" "$build/scenes"
cd "$build/node"
exec node page_bench.mjs "$here/build/web/cardlift.html" "$here/$build/cardlift" "$here/$build/scenes/crowd.png" \
    "${2:-2}" "${1:-5}"
