#!/usr/bin/env bash
# Builds cardlift and its unit and end-to-end tests twice and runs every test in
# each: with AddressSanitizer and UndefinedBehaviorSanitizer (preset "asan",
# build/asan), then with ThreadSanitizer (preset "tsan", build/tsan), which
# watches the worker threads that draw the cards and the decode budget they
# share for data races and locks taken in clashing orders.
# Any sanitizer report, leak included, fails its test; so does a skipped test,
# since a check that quietly stops running under the sanitizers proves nothing.
# Both test presets leave out the one test that needs the Windows build
# (wildcard expansion by the Windows start-up code); it cannot run here.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"
. tools/deps.sh
ensure_packages "${native_packages[@]}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# ThreadSanitizer (GCC's) expects the program in fixed address ranges; with more
# address randomisation than it knows (vm.mmap_rnd_bits above 28 on newer
# kernels) every instrumented program stops at start-up with "unexpected memory
# mapping". A tiny instrumented program tells whether that happens here; if it
# does, the run goes without randomisation (setarch -R, inherited by every
# process the tests start), and if that does not help either, the suite fails.
tsan_launcher=()
probe_tsan() {
    echo 'int main() { return 0; }' >"$work/probe.cc"
    g++ -fsanitize=thread "$work/probe.cc" -o "$work/probe"
    "$work/probe" >"$work/probe.log" 2>&1 && return 0
    local setarch=(setarch "$(uname -m)" -R)
    if "${setarch[@]}" "$work/probe" >>"$work/probe.log" 2>&1; then
        echo "ThreadSanitizer runs only without address randomisation here: tests run under ${setarch[*]}"
        tsan_launcher=("${setarch[@]}")
        return 0
    fi
    cat "$work/probe.log" >&2
    echo "ThreadSanitizer cannot start programs on this machine, not even under ${setarch[*]}" \
        "(vm.mmap_rnd_bits is $(cat /proc/sys/vm/mmap_rnd_bits 2>/dev/null || echo unknown);" \
        "'sysctl vm.mmap_rnd_bits=28' lowers it)" >&2
    return 1
}

run_workflow() {  # preset [launcher...]
    local preset=$1
    shift
    "$@" cmake --workflow --preset "$preset" 2>&1 | tee "$work/$preset.log"
    if grep -q '(Skipped)' "$work/$preset.log"; then
        echo "tests were skipped under the $preset sanitizer build" >&2
        exit 1
    fi
}

run_workflow asan
probe_tsan
run_workflow tsan "${tsan_launcher[@]}"
