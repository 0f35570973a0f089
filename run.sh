#!/usr/bin/env bash
# Builds cardlift and runs it on a scene (the bundled demo scene when none is
# given). Cards are written to the current directory.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
. "$here/tools/deps.sh"
ensure_packages "${native_packages[@]}"
cmake --preset default -S "$here" >/dev/null
cmake --build "$here/build/default" --target cardlift -j"$(nproc)" >/dev/null
scene="${1:-$here/demo/demo_scene.png}"
exec "$here/build/default/cardlift" "$scene"
