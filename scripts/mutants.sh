#!/usr/bin/env bash
# Mutation score: applies each deliberate one-line fault of scripts/mutants.txt in turn to a
# scratch copy of a revision, builds it and runs the quick tests. A fault is killed when a test
# fails (or hangs), survives when every test passes.
# Usage: scripts/mutants.sh [REVISION] [LIST]   (default: the working tree; scripts/mutants.txt)
# Environment: MUTANTS_DIR (scratch folder, default /tmp/kettorin-mutants), MUTANTS_ONLY (a
# pattern: only faults whose line matches it), MUTANTS_SANITIZE (e.g. address,undefined: build
# with those sanitizers, for faults only they reveal).
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
revision="${1:-}"
list="$(realpath "${2:-$repo/scripts/mutants.txt}")"
scratch="${MUTANTS_DIR:-/tmp/kettorin-mutants}"
src="$scratch/src"
build="$scratch/build"
mkdir -p "$src" "$scratch/stage"

# The revision's files, copied only where they differ so that builds stay incremental.
rm -rf "$scratch/stage" && mkdir -p "$scratch/stage"
if [ -n "$revision" ]; then
  git -C "$repo" archive "$revision" | tar -x -C "$scratch/stage"
else
  git -C "$repo" ls-files -z | (cd "$repo" && xargs -0 cp --parents -t "$scratch/stage")
fi
(cd "$scratch/stage" && find . -type f -print0) | while IFS= read -r -d '' f; do
  cmp -s "$scratch/stage/$f" "$src/$f" ||
    { mkdir -p "$(dirname "$src/$f")" && cp "$scratch/stage/$f" "$src/$f"; }
done
(cd "$src" && find . -type f -print0) | while IFS= read -r -d '' f; do
  [ -e "$scratch/stage/$f" ] || rm "$src/$f"
done

cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKETTORIN_BUILD_BENCH=OFF \
  -DKETTORIN_SANITIZE="${MUTANTS_SANITIZE:-}" >/dev/null
targets=(kettorin_unit_tests kettorin_api_tests kettorin TarneloKettorin kettorin_abi_1_1_header_c
  kettorin_abi_1_1_compose)
[ -n "$(grep -s SNDFILE_FOUND:INTERNAL=1 "$build/CMakeCache.txt")" ] && targets+=(sndfile_read)
# The file-system interposer of the injected faults, where the build has it (Linux, unsanitized).
grep -q '^kettorin_fail_io:' <<<"$(cmake --build "$build" --target help)" &&
  targets+=(kettorin_fail_io)
# The slow and the installing tests stay out: the samples' reference, the benchmark, the vector
# path's eleven-million-sample corpus, the browser page, the virtual environment, the MIDI corpus,
# and the long tests.
skipped='install_and_consume|example_python|samples_match_reference|benchmark|header_compiles'
skipped+='|VectorPath|page_in_browser|python_venv_install|midi_files_match'
quick() {
  cmake --build "$build" --target "${targets[@]}" >"$scratch/build.log" 2>&1 || return 2
  ctest --test-dir "$build" -j"$(nproc)" --timeout 60 --stop-on-failure \
    -E "$skipped" -LE 'long|differential' \
    >"$scratch/test.log" 2>&1 || return 1
}
quick || { echo "the unchanged revision does not pass its quick tests" >&2; exit 1; }

# Applies one fault: the first exact occurrence of TEXT in FILE becomes REPLACEMENT.
apply() {
  python3 - "$@" <<'PY'
import sys
path, text, replacement = sys.argv[1], sys.argv[2], sys.argv[3]
text, replacement = text.replace("\\n", "\n"), replacement.replace("\\n", "\n")
source = open(path).read()
if text not in source:
    sys.exit(1)
open(path, "w").write(source.replace(text, replacement, 1))
PY
}

killed=0 survived=0 missing=0 unbuilt=0 number=0
while IFS= read -r line; do
  case "$line" in '#'* | '') continue ;; esac
  if [ -n "${MUTANTS_ONLY:-}" ] && ! grep -q -- "$MUTANTS_ONLY" <<<"$line"; then continue; fi
  number=$((number + 1))
  file="$(sed 's/ | .*//' <<<"$line")"
  rest="${line#* | }"
  text="${rest%% => *}"
  replacement="${rest#* => }"
  cp "$src/$file" "$scratch/original"
  if ! apply "$src/$file" "$text" "$replacement"; then
    verdict="not found"
    missing=$((missing + 1))
  else
    set +e
    quick
    outcome=$?
    set -e
    case $outcome in
      0) verdict="SURVIVED" survived=$((survived + 1)) ;;
      1) verdict="killed by $(grep -m1 -oE '(Test +#[0-9]+: [^ ]+) .*(Failed|Timeout|Exception)' \
        "$scratch/test.log" | sed -E 's/ +\.+.*//; s/Test +#[0-9]+: //')" killed=$((killed + 1)) ;;
      *) verdict="does not build" unbuilt=$((unbuilt + 1)) ;;
    esac
  fi
  cp "$scratch/original" "$src/$file"
  printf '%2d %-9s %-26s %s\n' "$number" "${verdict%% *}" "$file" "$text" | cut -c1-110
  [ "${verdict%% *}" = killed ] && printf '              %s\n' "${verdict#killed by }"
done <"$list"
# Leave the scratch build as the revision itself.
cmake --build "$build" --target "${targets[@]}" >/dev/null 2>&1 || true

scored=$((killed + survived))
printf '\nkilled %d, survived %d, not found %d, not built %d: score %d/%d' \
  "$killed" "$survived" "$missing" "$unbuilt" "$killed" "$scored"
[ "$scored" -gt 0 ] && printf ' (%d %%)' $((100 * killed / scored))
printf '\n'
