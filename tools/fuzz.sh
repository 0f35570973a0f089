#!/usr/bin/env bash
# Fuzzes the whole extraction path with libFuzzer, ASan and UBSan.
#
#   tools/fuzz.sh [seconds] [scene|record|all]
#
# Runs for `seconds` in all (default 60), split evenly between the two targets
# unless one is named: "scene" takes whole scene files, "record" one character
# record behind a fixed scene head. Installs clang-14 and its runtime when
# missing, builds build/fuzz, writes the seed corpus from the test scene
# builder, and keeps the growing corpus in build/fuzz/corpus/<target>. A crash,
# sanitizer report, leak or hang leaves its input in build/fuzz/findings/ and
# makes the script fail; the full fuzzer output is in build/fuzz/<target>.log.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"
. tools/deps.sh
ensure_packages "${native_packages[@]}" "${fuzz_packages[@]}"

seconds="${1:-60}"
which="${2:-all}"
case "$which" in
    all) targets=(scene record) ;;
    scene | record) targets=("$which") ;;
    *) echo "usage: tools/fuzz.sh [seconds] [scene|record|all]" >&2; exit 2 ;;
esac
[[ "$seconds" =~ ^[0-9]+$ ]] || { echo "seconds must be a number" >&2; exit 2; }
per=$((seconds / ${#targets[@]}))
[ "$per" -gt 0 ] || per=1

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null
out=build/fuzz
for t in scene record; do mkdir -p "$out/seeds/$t" "$out/corpus/$t"; done
mkdir -p "$out/findings"
"$out/fuzz/cardlift_fuzz_seeds" "$out/seeds/scene" "$out/seeds/record"

for t in "${targets[@]}"; do
    echo "fuzzing $t for ${per}s (log: $out/$t.log)"
    # One process: the machine is shared. A run that takes 30 s counts as a
    # hang; the tool must finish any scene of this size far sooner. Inputs up
    # to 4 MiB, grown at once (no length control), reach the size-related
    # paths: large declared sizes, long streams, many records.
    status=0
    "$out/fuzz/cardlift_fuzz_$t" -max_total_time="$per" -timeout=30 -max_len=4194304 -len_control=0 \
        -dict=fuzz/cardlift.dict -print_final_stats=1 -artifact_prefix="$out/findings/$t-" \
        "$out/corpus/$t" "$out/seeds/$t" >"$out/$t.log" 2>&1 || status=$?
    grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)|^stat::number_of_executed_units|^stat::peak_rss' \
        "$out/$t.log" || true
    if [ "$status" -ne 0 ]; then
        grep -E 'ERROR|runtime error|broken invariant|Test unit written' "$out/$t.log" | head -20
        echo "fuzzing $t found a problem; see $out/$t.log" >&2
        exit 1
    fi
done
