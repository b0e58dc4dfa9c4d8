#!/usr/bin/python3
"""Times the command rendering a four-minute song (5 patterns, 6 lanes, 20 segments, a tempo
change) against a one-pattern beat of about the same length and the same number of hits, from
command start to file on disk, alternating runs, and prints the medians and their ratio.

Usage: bench/song_vs_loop.py [KETTORIN] [RUNS]   (defaults: build/kettorin, 11)
"""
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

SONG = """# Four minutes: verses and fills, a bar of 3/4 after each section, a slower ending
tempo 120
steps 4

pattern a
kick    x---x---x---x---
snare   ----x-------x---
hihatc  x-x-x-x-x-x-x-x-

pattern b
kick    x-----x-x-------
snare   ----x-------x--x
hihatc  xxxxxxxxxxxxxxxx

pattern fill
kick    x---------------
snare   ----x---xxxxXXXX
high_tom --------------xx
crash   X---------------

pattern waltz
steps 2
kick    x-----
snare   --x-x-
hihatc  xxxxxx

pattern slow
tempo 100
crash   X-------
kick    X---X---
kick pitch=G --x---x-
hihatc  x-x-x-x-

play ((a*3 b)*3 fill waltz)*9 slow*4 a
"""


def flat_beat(song_hits, steps):
    """One pattern at tempo 120 with six lines, as long as the song to the step and with as many
    hits, spread evenly over the lines and the grid."""
    lines = ["kick", "snare", "hihatc", "high_tom", "crash", "kick pitch=G"]
    cells = [["-"] * steps for _ in lines]
    for h in range(song_hits):
        cells[h % len(lines)][(h // len(lines)) * steps * len(lines) // song_hits] = "x"
    body = "".join(f"{name:14s}{''.join(row)}\n" for name, row in zip(lines, cells))
    return f"tempo 120\nsteps 4\n\n{body}"


def main():
    kettorin = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/kettorin")
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 11
    work = tempfile.mkdtemp()
    song = os.path.join(work, "song.beat")
    with open(song, "w") as f:
        f.write(SONG)
    report = subprocess.run([kettorin, "beat", song, "-o", os.path.join(work, "song.wav")],
                            capture_output=True, text=True, check=True).stdout
    seconds = float(re.search(r"Duration: ([\d.]+)", report).group(1))
    segments = int(re.search(r"Segments: (\d+)", report).group(1))
    lanes = int(re.search(r"(\d+) lanes", report).group(1))
    song_hits = sum(int(n) for n in re.findall(r"^  \S.*?\s(\d+) hits?", report, re.M))
    steps = round(seconds * 8)  # a step lasts 1/8 s at tempo 120
    text = flat_beat(song_hits, steps)
    flat = os.path.join(work, "flat.beat")
    with open(flat, "w") as f:
        f.write(text)
    print(f"song: {seconds:.2f} s, {segments} segments, {lanes} lanes, {song_hits} hits; "
          f"one pattern: {steps / 8:.2f} s, {text.count('x')} hits")

    times = {"song": [], "flat": []}
    for _ in range(runs):
        for name, source in (("song", song), ("flat", flat)):
            start = time.perf_counter()
            subprocess.run([kettorin, "beat", source, "-q", "-o", os.path.join(work, name + ".wav")],
                           check=True)
            times[name].append(time.perf_counter() - start)
    song_ms = statistics.median(times["song"]) * 1000
    flat_ms = statistics.median(times["flat"]) * 1000
    print(f"median of {runs}: song {song_ms:.1f} ms, one pattern {flat_ms:.1f} ms, "
          f"ratio {song_ms / flat_ms:.3f} (target at most 1.2)")


if __name__ == "__main__":
    main()
