#!/usr/bin/env bash
# Builds everything and runs every test: fuzzing, ThreadSanitizer, AddressSanitizer with
# UndefinedBehaviorSanitizer, the Windows DLL under Wine, 32-bit ARM under qemu, and the optimised
# build.
# Usage: scripts/test.sh [quick]   (quick: the optimised build's tests only)
set -euo pipefail
cd "$(dirname "$0")/.."
# The browser page (emscripten, chromium, node), the Python package (its tests, its virtual
# environment and its plotting example), real MIDI files with an independent reader for the MIDI
# tests (mma, midicsv), and strace for the command's tests, which trace its file-system calls.
# Node.js and npm from Debian only where the machine has none of its own (a NodeSource node
# carries its npm, and conflicts with Debian's).
node_packages=()
command -v node >/dev/null || node_packages+=(nodejs)
command -v npm >/dev/null || node_packages+=(npm)
scripts/deps.sh --tests emscripten chromium python3-venv python3-numpy python3-pytest python3-matplotlib python3-mido \
  mma midicsv strace "${node_packages[@]}"
# The browser test's driver, at the version its lock file pins (it uses the system's chromium).
(cd tests/web && npm ci --ignore-scripts --no-audit --no-fund >/dev/null)
jobs="$(nproc)"
stage() { printf '\n== %s\n' "$*"; }

if [ "${1:-}" != "quick" ]; then
  stage "fuzzing (20 s a target)"
  scripts/fuzz.sh 20

  stage "ThreadSanitizer: concurrent calls"
  cmake --preset tsan >/dev/null
  cmake --build build-tsan --target kettorin_api_tests
  ctest --preset tsan

  stage "AddressSanitizer + UndefinedBehaviorSanitizer: every test"
  cmake --preset asan >/dev/null
  cmake --build build-asan
  ctest --preset asan -j"$jobs" -LE 'long|differential'

  stage "cross builds: Windows DLL under Wine, 32-bit ARM under qemu"
  scripts/cross.sh windows arm
fi

stage "optimised build: every test"
cmake --preset release >/dev/null
cmake --build build
ctest --test-dir build --output-on-failure -j"$jobs" -LE 'long|differential'
if [ "${1:-}" != "quick" ]; then
  stage "optimised build: long tests"
  ctest --test-dir build --output-on-failure -L long
fi
