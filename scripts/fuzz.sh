#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer + UndefinedBehaviorSanitizer) and runs
# each from the committed seed corpus, for a bounded time or a number of executions.
#
# Usage: scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET ...]   (default 20 s, every target)
#        scripts/fuzz.sh --runs N [TARGET ...]
# With --runs, each target runs N inputs and its committed corpus is then replaced by the
# smallest set of inputs (4 KB at most) that keeps every edge of the old and the new, beside the
# named seeds.
set -euo pipefail
cd "$(dirname "$0")/.."
limit=(-max_total_time=20)
runs=""
if [ "${1:-}" = --runs ]; then
  runs="$2"
  limit=(-runs="$runs" -entropic=0)  # the plain schedule runs about twice the inputs a second
  shift 2
elif [ $# -gt 0 ]; then
  limit=(-max_total_time="$1")
  shift
fi
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(notes drum_lookup compose beat render midi song to_beat)
cmake --preset fuzz >/dev/null
cmake --build build-fuzz
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ASAN_OPTIONS=halt_on_error=1:malloc_context_size=0
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
for target in "${targets[@]}"; do
  mkdir -p "$work/$target"
  # A target without a committed corpus yet starts from nothing.
  if [ -d tests/fuzz/corpus/"$target" ]; then cp tests/fuzz/corpus/"$target"/* "$work/$target/"; fi
  # Real files seed the MIDI targets too: the small ones of Debian's mma package, where installed.
  if { [ "$target" = midi ] || [ "$target" = to_beat ]; } && [ -d /usr/share/doc/mma/examples ]; then
    find /usr/share/doc/mma/examples /usr/share/mma -name '*.mid' -size -3k \
      -exec cp {} "$work/$target/" \; 2>/dev/null || true
  fi
  # Standard output and error of the library are closed: the report would drown the fuzzer's.
  # An input may take seconds under the sanitizers (a song of a million bars made from a MIDI file
  # takes 3 to 8 s, against 0.6 s optimised); 30 s is a hang.
  started=$SECONDS
  if ! build-fuzz/tests/fuzz/fuzz_"$target" -close_fd_mask=3 "${limit[@]}" \
      -timeout=30 -rss_limit_mb=4096 -artifact_prefix="$work/" "$work/$target" \
      >"$work/$target.log" 2>&1; then
    tail -n 40 "$work/$target.log"
    echo "fuzz_$target: FAILED"
    exit 1
  fi
  echo "fuzz_$target: $(grep -E '^Done [0-9]+ runs' "$work/$target.log") ($((SECONDS - started)) s," \
    "$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$work/$target.log" | tail -n 1))"
  if [ -n "$runs" ]; then
    kept="$work/$target.kept"
    mkdir -p "$kept" tests/fuzz/corpus/"$target"
    build-fuzz/tests/fuzz/fuzz_"$target" -close_fd_mask=3 -merge=1 -max_len=4096 \
      -rss_limit_mb=4096 "$kept" tests/fuzz/corpus/"$target" "$work/$target" \
      >"$work/$target.merge.log" 2>&1
    # The seeds named for what they are stay, since tests read some of them; the rest are
    # replaced by the merged inputs, named by their SHA-1.
    find tests/fuzz/corpus/"$target" -regextype egrep -regex '.*/[0-9a-f]{40}' -delete
    cp "$kept"/* tests/fuzz/corpus/"$target"/
    echo "fuzz_$target: corpus of $(ls "$kept" | wc -l) inputs"
  fi
done
