#!/usr/bin/env bash
# The lines of beat/, midi/ and track/ that the committed fuzz corpora reach: the fuzz targets
# built with clang's coverage (and the sanitizers, whose runtime the instrumented library links
# against), each run once over its corpus, one row a folder.
# Usage: scripts/fuzz_coverage.sh
set -euo pipefail
cd "$(dirname "$0")/.."
flags="-fprofile-instr-generate -fcoverage-mapping"
cmake -S . -B build-fuzzcov -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DKETTORIN_FUZZ=ON -DKETTORIN_BUILD_TESTS=OFF \
  -DKETTORIN_SANITIZE=address,undefined \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" \
  -DCMAKE_SHARED_LINKER_FLAGS="$flags" >/dev/null
cmake --build build-fuzzcov >/dev/null
profiles=$(mktemp -d)
trap 'rm -rf "$profiles"' EXIT
objects=(build-fuzzcov/libTarneloKettorin.so)
for corpus in tests/fuzz/corpus/*/; do
  target=$(basename "$corpus")
  binary=build-fuzzcov/tests/fuzz/fuzz_"$target"
  [ -x "$binary" ] || continue
  objects+=(-object "$binary")
  LLVM_PROFILE_FILE="$profiles/$target.profraw" "$binary" -close_fd_mask=3 -runs=0 "$corpus" \
    >/dev/null 2>&1
done
llvm-profdata merge -sparse "$profiles"/*.profraw -o "$profiles/all.profdata"
echo "| folder | lines reached | of | share |"
echo "|---|---|---|---|"
for folder in beat midi track; do
  llvm-cov report "${objects[@]}" -instr-profile="$profiles/all.profdata" "$folder"/ |
    awk -v folder="$folder/" '$1 == "TOTAL" { printf "| %s | %d | %d | %s |\n", folder,
      $8 - $9, $8, $10 }'
done
