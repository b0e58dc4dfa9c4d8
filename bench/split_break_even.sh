#!/usr/bin/env bash
# Finds where two threads start to pay: renders snare compositions of several lengths in fresh
# processes, one thread and two alternating, and prints the medians. The first thread a process
# starts is the expensive one, so every run is a new process.
# Usage: bench/split_break_even.sh [BUILD] [RUNS]   (defaults: build, 41)
set -euo pipefail
program="${1:-build}/kettorin_split_break_even"
runs="${2:-41}"
python3 - "$program" "$runs" <<'PY'
import statistics, subprocess, sys
program, runs = sys.argv[1], int(sys.argv[2])
def once(seconds, threads):
    out = subprocess.run([program, str(seconds), str(threads)], check=True, capture_output=True)
    return float(out.stdout)
print(" length   samples   one thread   two threads   ratio")
for seconds in (0.5, 1.0, 1.5, 2.0, 3.0, 4.0, 10.0, 60.0):
    one, two = [], []
    for _ in range(runs):
        one.append(once(seconds, 1))
        two.append(once(seconds, 2))
    a, b = statistics.median(one), statistics.median(two)
    print(f"{seconds:5.1f} s  {int(seconds * 44100):8d}  {a:8.0f} us  {b:9.0f} us    {a / b:.2f}x")
PY
