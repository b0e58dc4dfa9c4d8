#!/usr/bin/env bash
# Times the kettorin command against sox rendering the same durations, and against an earlier
# build of kettorin when one is given, alternating runs, and prints the medians.
# Usage: bench/vs_sox.sh [KETTORIN] [RUNS] [EARLIER_KETTORIN]   (defaults: build/kettorin, 11)
set -euo pipefail
kettorin="${1:-build/kettorin}"
runs="${2:-11}"
earlier="${3:-}"
command -v sox >/dev/null || { echo "sox is not installed" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
minute=$(printf 'C1 %.0s' $(seq 60))  # 60 whole notes at 60 BPM: 60 seconds
here="$(cd "$(dirname "$0")" && pwd)"

python3 - "$kettorin" "$runs" "$work" "$minute" "$earlier" "$here" <<'PY'
import statistics, subprocess, sys, time
kettorin, runs, work, minute, earlier, here = sys.argv[1:7]
runs = int(runs)
# (title, kettorin arguments, sox command or None)
rows = [
    ("snare-like: snare vs sox 2 sines + noise, 60 s at 44.1 kHz",
     ["-q", "-d", "snare", "-t", "60", "-o", f"{work}/k.wav", minute],
     ["sox", "-r", "44100", "-n", "-b", "16", f"{work}/s.wav", "synth", "60", "sine", "200",
      "sine", "1500", "whitenoise", "remix", "-", "fade", "l", "0", "60", "60"]),
    ("four partials: cowbell vs sox 4 sines, 60 s at 44.1 kHz",
     ["-q", "-d", "cowbell", "-t", "60", "-o", f"{work}/k.wav", minute],
     ["sox", "-r", "44100", "-n", "-b", "16", f"{work}/s.wav", "synth", "60", "sine", "540",
      "sine", "800", "sine", "1630", "sine", "2410", "remix", "-"]),
    # One note a minute long (tempo 1): the swept voices' pitch sinks below the float range.
    ("one 60 s kick note", ["-q", "-d", "kick", "-t", "1", "-o", f"{work}/k.wav", "C1"], None),
    ("one 60 s high tom note", ["-q", "-d", "high_tom", "-t", "1", "-o", f"{work}/k.wav", "C1"],
     None),
    ("a 3-minute 4-line beat (bench/three_minutes.beat)",
     ["beat", f"{here}/three_minutes.beat", "-q", "-o", f"{work}/k.wav"], None),
    ("start-up: one short snare note", ["-q", "-d", "snare", "-o", f"{work}/k.wav", "C"], None),
]
def once(cmd):
    start = time.perf_counter()
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start
for title, args, sox in rows:
    builds = [("kettorin", [kettorin] + args)]
    if earlier:
        builds.append(("earlier", [earlier] + args))
    if sox:
        builds.append(("sox", sox))
    times = {name: [] for name, _ in builds}
    for _ in range(runs):  # alternate, so all see the same machine
        for name, cmd in builds:
            times[name].append(once(cmd))
    medians = {name: statistics.median(t) for name, t in times.items()}
    line = "   ".join(f"{name} {m * 1000:7.1f} ms" for name, m in medians.items())
    for other in ("earlier", "sox"):
        if other in medians:
            line += f"   {medians[other] / medians['kettorin']:.2f}x {other}"
    print(f"{title}\n  {line}")
PY
