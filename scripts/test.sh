#!/usr/bin/env bash
# Builds everything and runs every test: fuzzing, ThreadSanitizer, AddressSanitizer with
# UndefinedBehaviorSanitizer, the Windows DLL under Wine, 32-bit ARM under qemu, and the optimised
# build.
# Usage: scripts/test.sh [quick]   (quick: the optimised build's tests only)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/deps.sh strace  # the command's tests trace its file-system calls
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
  ctest --preset asan -j"$jobs"

  stage "cross builds: Windows DLL under Wine, 32-bit ARM under qemu"
  scripts/cross.sh windows arm
fi

stage "optimised build: every test"
cmake --preset release >/dev/null
cmake --build build
ctest --test-dir build --output-on-failure -j"$jobs"
