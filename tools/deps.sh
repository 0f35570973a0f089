# Installs the Debian packages named in the arguments that are not installed yet,
# all in one apt-get call with one "Installing: ..." line, and says so and
# fails when that call fails. Sourced by run.sh, test.sh and the tools/ scripts;
# quiet when everything is there. Tests never call it: ./test.sh installs what
# every test needs before the first one starts (two apt-get at once fail on
# dpkg's lock, and CTest runs tests side by side).
ensure_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    echo "Installing: ${missing[*]}" >&2
    if ! { $sudo apt-get update -qq &&
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; }; then
        echo "Could not install: ${missing[*]} (apt-get failed; its messages are above)" >&2
        return 1
    fi
}

# For a test: fails, naming the package to install, when the command $1 is not
# there. $2 is the Debian package that brings it.
need_tool() {
    command -v "$1" >/dev/null ||
        { echo "FAIL: $1 is missing: install the package $2 (./test.sh installs it)" >&2; exit 1; }
}

# What every native build needs.
native_packages=(cmake g++ make libstb-dev libmsgpack-cxx-dev nlohmann-json3-dev googletest libgtest-dev)
# What the native tests need beyond the build: the package and manual checks,
# and the validator every JSON document of the end-to-end tests goes through.
test_packages=(lintian groff-base mandoc python3-jsonschema)
# The web edition and its browser tests: emscripten, Debian's chromium, and a
# font with Japanese characters for the page's screenshot.
web_packages=(emscripten chromium fonts-ipafont-gothic nodejs)
# The fuzzers: clang's libFuzzer and sanitizer runtime.
fuzz_packages=(clang-14 libclang-rt-14-dev)

# Installs playwright-core (the version tests/web/package.json names) into the
# folder $1 from npm, unless it is there: the browser tests and the page's
# benchmark drive Debian's chromium with it.
ensure_playwright() {
    command -v npm >/dev/null ||
        { echo "npm is missing: install the package npm (or nodejs from a source that brings it)" >&2; return 1; }
    mkdir -p "$1"
    cp "$here/tests/web/package.json" "$1/"
    [ -d "$1/node_modules/playwright-core" ] && return 0
    (cd "$1" && npm install --no-audit --no-fund --loglevel=error) ||
        { echo "npm could not install playwright-core into $1 (see above)" >&2; return 1; }
}

# Builds the page (build/web/cardlift.html, preset "web") with what it needs
# installed first; emscripten 3.1.6 finds its JavaScript helpers (acorn)
# through NODE_PATH.
build_web_page() {
    ensure_packages "${native_packages[@]}" "${web_packages[@]}"
    export NODE_PATH=/usr/share/nodejs
    cmake --workflow --preset web
}
