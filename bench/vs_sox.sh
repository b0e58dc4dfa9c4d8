#!/usr/bin/env bash
# Times the kettorin command against sox rendering the same durations, alternating runs, and prints
# each pair's medians and their ratio.
# Usage: bench/vs_sox.sh [KETTORIN] [RUNS]   (defaults: build/kettorin, 11)
set -euo pipefail
kettorin="${1:-build/kettorin}"
runs="${2:-11}"
command -v sox >/dev/null || { echo "sox is not installed" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
minute=$(printf 'C1 %.0s' $(seq 60))  # 60 whole notes at 60 BPM: 60 seconds

python3 - "$kettorin" "$runs" "$work" "$minute" <<'PY'
import statistics, subprocess, sys, time
kettorin, runs, work, minute = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
pairs = [
    ("snare-like: kettorin snare vs sox 2 sines + noise, 60 s at 44.1 kHz",
     [kettorin, "-q", "-d", "snare", "-t", "60", "-o", f"{work}/k.wav", minute],
     ["sox", "-r", "44100", "-n", "-b", "16", f"{work}/s.wav", "synth", "60", "sine", "200",
      "sine", "1500", "whitenoise", "remix", "-", "fade", "l", "0", "60", "60"]),
    ("four partials: kettorin cowbell vs sox 4 sines, 60 s at 44.1 kHz",
     [kettorin, "-q", "-d", "cowbell", "-t", "60", "-o", f"{work}/k.wav", minute],
     ["sox", "-r", "44100", "-n", "-b", "16", f"{work}/s.wav", "synth", "60", "sine", "540",
      "sine", "800", "sine", "1630", "sine", "2410", "remix", "-"]),
]
def once(cmd):
    start = time.perf_counter()
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start
for title, ours, theirs in pairs:
    a, b = [], []
    for _ in range(runs):  # alternate, so both see the same machine
        a.append(once(ours))
        b.append(once(theirs))
    ma, mb = statistics.median(a), statistics.median(b)
    print(f"{title}\n  kettorin {ma * 1000:7.1f} ms   sox {mb * 1000:7.1f} ms   "
          f"kettorin is {mb / ma:.1f}x faster")
PY
