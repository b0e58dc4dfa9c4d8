#!/usr/bin/env bash
# Line and branch coverage of the library and the command by the test suite, one row a folder.
# Usage: scripts/coverage.sh [REVISION]   (default: the working tree)
# Environment: COVERAGE_DIR (scratch folder, default /tmp/kettorin-coverage).
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
"$repo/scripts/deps.sh" --tests gcovr
scratch="${COVERAGE_DIR:-/tmp/kettorin-coverage}"
src="$scratch/src"
build="$scratch/build"
rm -rf "$src" && mkdir -p "$src"
if [ -n "${1:-}" ]; then
  git -C "$repo" archive "$1" | tar -x -C "$src"
else
  git -C "$repo" ls-files -z | (cd "$repo" && xargs -0 cp --parents -t "$src")
fi

# Unoptimised, so that every line maps to its own code; the counters updated atomically, since
# long renderings run on two threads.
flags="--coverage -fprofile-update=atomic"
cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKETTORIN_BUILD_BENCH=OFF \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_SHARED_LINKER_FLAGS=--coverage >/dev/null
cmake --build "$build" >/dev/null
find "$build" -name '*.gcda' -delete
# Every test but those that install or load the library from elsewhere, the browser page (a
# separate WebAssembly build) and the long ones.
ctest --test-dir "$build" -j"$(nproc)" -LE 'long|differential' \
  -E 'install_and_consume|example_python|python_venv_install|page_in_browser' >/dev/null ||
  echo "(some tests failed; coverage is of what ran)" >&2

folders=(compose voices wav platform cli track beat midi)
filters=()
for folder in "${folders[@]}"; do filters+=(--filter "$src/$folder/"); done
gcovr --root "$src" "${filters[@]}" --exclude-unreachable-branches --exclude-throw-branches \
  --json-summary "$scratch/summary.json" "$build" >/dev/null
python3 - "$scratch/summary.json" "${folders[@]}" <<'PY'
import json
import sys

summary = json.load(open(sys.argv[1]))
rows = {folder: [0, 0, 0, 0] for folder in sys.argv[2:]}
for f in summary["files"]:
    row = rows[f["filename"].split("/")[0]]
    row[0] += f["line_covered"]
    row[1] += f["line_total"]
    row[2] += f["branch_covered"]
    row[3] += f["branch_total"]
rows["all"] = [sum(r[i] for r in rows.values()) for i in range(4)]

def percent(covered, total):
    return f"{100 * covered / total:5.1f} %" if total else "    -  "

print(f"{'folder':10} {'lines':>17} {'branches':>17}")
for folder, (lc, lt, bc, bt) in rows.items():
    print(f"{folder:10} {lc:5}/{lt:<5} {percent(lc, lt)} {bc:5}/{bt:<5} {percent(bc, bt)}")
PY
