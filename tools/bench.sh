#!/usr/bin/env bash
# Benchmarks: installs what is missing, builds a Release tree with the
# benchmarks in build/bench, makes the benchmark scenes there (about 270 MB,
# remade only when their generator changes) and prints the table.
#
#   tools/bench.sh [repetitions]     (default 9; each takes about 30 s here)
#
# The runs are interleaved and the table shows medians; on a busy machine use
# more repetitions. See "Performance" in README.md for what each row means.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$here/tools/deps.sh"
ensure_packages cmake g++ make libstb-dev
build="$here/build/bench"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
    -DCARDLIFT_BENCH=ON >/dev/null
cmake --build "$build" -j2 >/dev/null
exec "$build/bench/cardlift_bench" "$build/cardlift" "$build/bench/scenes" "${1:-9}"
