#!/usr/bin/env bash
# The folders of src/ stand in layers, and a file includes only from its own
# folder or a layer below: base and platform (bounds-checked reads, the heap,
# the operating system) at the bottom, then scene (what a scene file is) and
# card (the card picture), then run (one run over scenes), then the two front
# ends, cli and web. Prints every include that reaches up or across.
# Usage: check_layout.sh <source dir>
set -euo pipefail
src=$1/src
declare -A layer=([base]=0 [platform]=0 [scene]=1 [card]=1 [run]=2 [cli]=3 [web]=3)
bad=0
for file in "$src"/*/*; do
    folder=$(basename "$(dirname "$file")")
    [ -n "${layer[$folder]+x}" ] || { echo "FAIL: src/$folder is in no layer"; bad=1; continue; }
    while read -r included; do
        [ -n "$included" ] || continue
        [ "$included" = "$folder" ] && continue
        if [ -z "${layer[$included]+x}" ] || [ "${layer[$included]}" -ge "${layer[$folder]}" ]; then
            echo "FAIL: ${file#"$1"/} includes from $included/"
            bad=1
        fi
    done < <(sed -n 's|^#include "\([a-z_]*\)/.*|\1|p' "$file" | sort -u)
done
[ $bad -eq 0 ] || exit 1
echo "layout: every include stays in its folder or reaches down"
