#!/usr/bin/env bash
# Builds the library and the command, then renders the example beat to demo.wav.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
# The library and the command alone: the tests and benchmarks need more (scripts/test.sh).
cmake --preset release -DKETTORIN_BUILD_TESTS=OFF -DKETTORIN_BUILD_BENCH=OFF >/dev/null
cmake --build build --target kettorin
build/kettorin beat examples/groove.beat -o demo.wav
