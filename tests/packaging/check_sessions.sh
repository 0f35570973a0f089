#!/usr/bin/env bash
# Every console session shown in the README, docs/usage.md and the manual page
# (a "console" block, a man page .EX block), if it shows any output, is replayed
# with the built program on the bundled demo scene, in a copy of the source
# tree's layout, and must print what the page shows. The screen is rendered as
# a terminal shows it: a carriage return starts the line over, and runs of
# blanks count as one (ls lays out its columns for a terminal of any width).
# Usage: check_sessions.sh <source dir> <cardlift>
set -euo pipefail
src=$1
tool=$(realpath "$2")
. "$(dirname "$0")/common.sh"

# The text after the last carriage return of each line, blanks squeezed.
render() { awk '{ sub(/\r$/, ""); n = split($0, part, "\r"); print part[n] }' | tr -s ' \t' ' ' |
    sed 's/^ //; s/ $//'; }

# Replays session file $1, named $2 in messages; returns 1 when it shows no output.
replay() {
    local commands=() shown=() line k box
    while IFS= read -r line; do
        if [[ $line == '$ '* ]]; then
            commands+=("${line#\$ }")
            shown+=("")
        elif [ ${#commands[@]} -gt 0 ]; then
            shown[-1]+="$line"$'\n'
        else
            fail "$2: output before the first command: $line"
        fi
    done <"$1"
    [ -n "$(printf %s "${shown[@]}")" ] || return 1
    box=$(mktemp -d "$tmp/session.XXXXXX")
    mkdir -p "$box/bin" "$box/tree/demo" "$box/out"
    ln -s "$tool" "$box/bin/cardlift"
    cp "$src/demo/demo_scene.png" "$box/tree/demo/"
    (
        cd "$box/tree"
        export PATH="$box/bin:$PATH" LC_ALL=C COLUMNS=1000
        ls() { command ls -C "$@"; }  # as on a terminal: names side by side
        for k in "${!commands[@]}"; do
            eval "${commands[k]}" </dev/null >"$box/out/$k" 2>&1 || true
        done
    )
    for k in "${!commands[@]}"; do
        local got want
        got=$(render <"$box/out/$k")
        want=$(printf %s "${shown[k]}" | render)
        [ "$got" = "$want" ] ||
            fail "$2: \$ ${commands[k]}"$'\n'"prints:"$'\n'"$got"$'\n'"the page shows:"$'\n'"$want"
    done
}

for doc in README.md docs/usage.md; do
    awk -v out="$tmp/$(basename "$doc" .md)" '/^```console$/ { n++; on = 1; next } /^```$/ { on = 0 } on { print > (out "." n) }' \
        "$src/$doc"
done
awk -v out="$tmp/man" '/^\.EX$/ { n++; on = 1; next } /^\.EE$/ { on = 0 } on { print > (out "." n) }' \
    "$src/man/cardlift.1"
for page in README usage man; do
    demo=0
    for session in "$tmp/$page".*; do
        [ -e "$session" ] || fail "$page: no session found"
        [ $page = man ] && sed -i 's/\\-/-/g; s/\\e/\\/g' "$session"
        replay "$session" "$page session $(head -n 1 "$session")" || continue
        grep -q 'demo/demo_scene\.png' "$session" && demo=1
    done
    [ $demo = 1 ] || fail "$page: no session with output runs the demo scene"
done
echo "documented sessions match the program"
