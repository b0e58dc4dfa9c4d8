#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer + UndefinedBehaviorSanitizer) and runs
# each for a bounded time from the committed seed corpus.
# Usage: scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 20)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-20}"
cmake --preset fuzz >/dev/null
cmake --build build-fuzz
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ASAN_OPTIONS=halt_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
for target in notes drum_lookup compose beat render midi song; do
  mkdir -p "$work/$target"
  # A target without a committed corpus yet starts from nothing.
  if [ -d tests/fuzz/corpus/"$target" ]; then cp tests/fuzz/corpus/"$target"/* "$work/$target/"; fi
  # Real files seed the MIDI reader too: the small ones of Debian's mma package, where installed.
  if [ "$target" = midi ] && [ -d /usr/share/doc/mma/examples ]; then
    find /usr/share/doc/mma/examples /usr/share/mma -name '*.mid' -size -3k \
      -exec cp {} "$work/$target/" \; 2>/dev/null || true
  fi
  # Standard output and error of the library are closed: the report would drown the fuzzer's.
  if ! build-fuzz/tests/fuzz/fuzz_"$target" -close_fd_mask=3 -max_total_time="$seconds" \
      -timeout=10 -rss_limit_mb=4096 -artifact_prefix="$work/" "$work/$target" \
      >"$work/$target.log" 2>&1; then
    tail -n 40 "$work/$target.log"
    echo "fuzz_$target: FAILED"
    exit 1
  fi
  echo "fuzz_$target: $(grep -E '^Done [0-9]+ runs' "$work/$target.log")"
done
