# Sourced by the packaging checks: a throw-away directory, removed on exit,
# and a failure report that stops the check.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# Makes the package of build dir $2 with cpack $1 and generator $3 in $tmp.
make_package() {
    "$1" --config "$2/CPackConfig.cmake" -G "$3" -B "$tmp" >"$tmp/cpack.log" 2>&1 ||
        fail "cpack: $(cat "$tmp/cpack.log")"
}
