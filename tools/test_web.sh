#!/usr/bin/env bash
# Builds the web edition (build/web/cardlift.html, preset "web") and tests the
# page in Debian's chromium, driven headless by playwright-core from npm
# (installed into build/web-tests): the tiles, the zip of every card against
# the Linux program's cards, the switches, a folder of 150 scenes, the phone
# layout, and no request after the page loaded. Part of ./test.sh --all. Leaves a screenshot in
# build/web-artifacts/page.png.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"
. tools/deps.sh
ensure_packages "${native_packages[@]}" "${web_packages[@]}"
command -v npm >/dev/null || { echo "npm is missing: install the package npm (or nodejs from a source that brings it)" >&2; exit 1; }

# emscripten 3.1.6 finds its JavaScript helpers (acorn) through NODE_PATH.
export NODE_PATH=/usr/share/nodejs
cmake --workflow --preset web
cmake --preset default >/dev/null
cmake --build --preset default --target cardlift make_cast_scene

tests=build/web-tests
mkdir -p "$tests"
cp tests/web/package.json tests/web/page_test.mjs "$tests/"
if [ ! -d "$tests/node_modules/playwright-core" ]; then
    (cd "$tests" && npm install --no-audit --no-fund --loglevel=error) ||
        { echo "npm could not install playwright-core (see above)" >&2; exit 1; }
fi
mkdir -p "$tests/made"
build/default/make_cast_scene "$tests/made"
echo "Page: $(stat -c %s build/web/cardlift.html) bytes"
(cd "$tests" && node page_test.mjs ../web/cardlift.html ../default/cardlift ../../demo/demo_scene.png made ../web-artifacts)
