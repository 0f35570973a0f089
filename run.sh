#!/usr/bin/env bash
# Builds cardlift and runs it on a scene. The cards of a scene named here are
# written to the current directory; those of the bundled demo scene, run when
# no scene is given, to build/demo-cards, which git ignores.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
. "$here/tools/deps.sh"
ensure_packages "${native_packages[@]}"
cmake --preset default -S "$here" >/dev/null
cmake --build "$here/build/default" --target cardlift -j"$(nproc)" >/dev/null
if [ $# -gt 0 ]; then
    exec "$here/build/default/cardlift" "$@"
fi
cards="$here/build/demo-cards"
mkdir -p "$cards"
cd "$cards"
status=0
"$here/build/default/cardlift" ../../demo/demo_scene.png || status=$?
echo "The demo scene's cards are in $cards"
exit $status
