#!/usr/bin/env bash
# Builds the library and the command, then renders the example beat to demo.wav.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset release >/dev/null
cmake --build build
build/kettorin beat examples/groove.beat -o demo.wav
