#!/usr/bin/env bash
# The browser page: the core compiled to WebAssembly with Debian's emscripten.
# Usage: scripts/web.sh [build]          builds the page (build-web/page, and build-web/kettorin.html
#                                        as one file that also opens from file://)
#        scripts/web.sh serve [PORT]     builds it and serves it on http://127.0.0.1:PORT (8000)
#        scripts/web.sh test [KETTORIN]  the core against the command, then the page in headless
#                                        Chromium (KETTORIN: the native command to compare with)
#        scripts/web.sh screenshot       saves docs/web.png
# KETTORIN_WEB_BUILD names another build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
web_build="${KETTORIN_WEB_BUILD:-build-web}"
# Debian's emcc runs its JavaScript parts with the system node and needs its modules' folder.
export NODE_PATH="${NODE_PATH:-/usr/share/nodejs}"

build() {
  if [ ! -f "$web_build/build.ninja" ]; then
    emcmake cmake -S . -B "$web_build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DKETTORIN_BUILD_TESTS=OFF >/dev/null
  fi
  cmake --build "$web_build"
}

native() {
  if [ -n "${1:-}" ]; then echo "$1"; return; fi
  [ -f build/build.ninja ] || cmake --preset release >/dev/null
  cmake --build build --target kettorin >&2
  echo build/kettorin
}

browser_test() {
  if [ ! -d tests/web/node_modules/puppeteer-core ]; then
    echo "page test skipped: run (cd tests/web && npm ci --ignore-scripts) first" >&2
    exit 77
  fi
  node tests/web/page_test.cjs "$@"
}

case "${1:-build}" in
  build)
    build
    echo "The page: $web_build/page/index.html (serve it), or $web_build/kettorin.html (one file)"
    ;;
  serve)
    build
    port="${2:-8000}"
    echo "Serving the page on http://127.0.0.1:$port/"
    exec python3 -m http.server "$port" --bind 127.0.0.1 --directory "$web_build/page"
    ;;
  test)
    build
    kettorin="$(native "${2:-}")"
    node tests/web/exact_test.cjs "$kettorin" "$web_build/page"
    browser_test "$kettorin" "$web_build"
    ;;
  screenshot)
    build
    kettorin="$(native)"
    browser_test "$kettorin" "$web_build" --screenshot docs/web.png
    ;;
  *)
    sed -n '2,9p' "$0" >&2
    exit 2
    ;;
esac
