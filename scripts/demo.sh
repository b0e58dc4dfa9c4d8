#!/usr/bin/env bash
# Builds the library and the command, then renders a demo track to demo.wav.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset release >/dev/null
cmake --build build
build/kettorin --drum snare --tempo 110 --output demo.wav "C D C2 E8 E8 C D C2 G1"
