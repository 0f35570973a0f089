#!/usr/bin/env bash
# Builds the web edition (build/web/cardlift.html, preset "web") and tests the
# page in Debian's chromium, driven headless by playwright-core from npm
# (installed into build/web-tests): the tiles, the zip of every card against
# the Linux program's cards, the switches, a folder of 150 scenes, the phone
# layout, and no request after the page loaded. Part of ./test.sh --all.
# Leaves screenshots in build/web-artifacts/ (page.png, page-phone.png).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"
. tools/deps.sh
build_web_page
cmake --preset default >/dev/null
cmake --build --preset default --target cardlift make_cast_scene

tests=build/web-tests
ensure_playwright "$tests"
cp tests/web/page_test.mjs "$tests/"
mkdir -p "$tests/made"
build/default/make_cast_scene "$tests/made"
echo "Page: $(stat -c %s build/web/cardlift.html) bytes"
(cd "$tests" && node page_test.mjs ../web/cardlift.html ../default/cardlift ../../demo/demo_scene.png made ../web-artifacts)
