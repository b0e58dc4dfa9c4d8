"""Real MIDI files (the examples and pattern library of Debian's mma package) read by the command
and by midicsv, an independent reader: the same hits on the same first samples, the same skipped
keys and the same length. The times here are exact fractions, computed from midicsv's ticks and
tempo events. Exits 77 (skipped) when mma or midicsv is not installed.

Usage: test_midi_files.py KETTORIN
"""
import csv
import glob
import shlex
import shutil
import subprocess
import sys
from fractions import Fraction

# General MIDI keys of the eleven kinds, with each kind's ring in seconds.
KINDS = {"KICK": ((35, 36), 0.5), "SNARE": ((37, 38, 40), 0.5), "CLAP": ((39,), 0.5),
         "HI-HAT CLOSED": ((42, 44), 0.125), "HI-HAT OPEN": ((46,), 1.0),
         "LOW TOM": ((41, 43, 45), 0.5), "MID TOM": ((47, 48), 0.5), "HIGH TOM": ((50,), 0.5),
         "COWBELL": ((56,), 0.5), "RIDE": ((51, 53, 59), 2.0), "CRASH": ((49, 52, 55, 57), 2.0)}
KIND_OF_KEY = {key: kind for kind, (keys, _) in KINDS.items() for key in keys}


def mma_files():
    found = glob.glob("/usr/share/doc/mma/examples/**/*.mid", recursive=True)
    found += glob.glob("/usr/share/mma/**/*.mid", recursive=True)
    return sorted(set(found))


def expected(path, rate):
    """(hits as (sample, key, velocity, track), skipped keys {key: count}, length) from midicsv."""
    text = subprocess.run(["midicsv", path], capture_output=True, text=True, check=True).stdout
    tracks = {}
    fmt = division = None
    for row in csv.reader(text.splitlines(), skipinitialspace=True):
        track, tick, kind = int(row[0]), int(row[1]), row[2].strip()
        if kind == "Header":
            fmt, division = int(row[3]), int(row[5])
        if track == 0:  # the header and the end of the file
            continue
        tracks.setdefault(track, []).append((tick, kind, row[3:]))
    assert division < 0x8000, "SMPTE files are not in the package"

    def tempo_map(tempos):
        """Segments (start tick, start time, seconds per tick); the later of one tick wins."""
        segments = [[0, Fraction(0), Fraction(500000, division * 10**6)]]
        for tick, micros in sorted(tempos, key=lambda t: t[0]):
            if tick == segments[-1][0]:
                segments[-1][2] = Fraction(micros, division * 10**6)
            else:
                segments.append([tick, time_at(segments, tick), Fraction(micros, division * 10**6)])
        return segments

    def time_at(segments, tick):
        start, at, per_tick = [s for s in segments if s[0] <= tick][-1]
        return at + (tick - start) * per_tick

    numbers = sorted(tracks)
    tempos = {t: [(tick, int(data[0])) for tick, kind, data in tracks[t] if kind == "Tempo"]
              for t in numbers}
    shared = tempo_map([x for t in numbers for x in tempos[t]]) if fmt != 2 else None
    hits, skipped, ends, offset = [], {}, [], Fraction(0)
    for index, t in enumerate(numbers):
        segments = shared or tempo_map(tempos[t])
        base = offset if fmt == 2 else Fraction(0)
        for position, (tick, kind, data) in enumerate(tracks[t]):
            if kind == "Note_on_c" and int(data[0]) == 9 and int(data[2]) > 0:
                key = int(data[1])
                if key not in KIND_OF_KEY:
                    skipped[key] = skipped.get(key, 0) + 1
                    continue
                sample = int((base + time_at(segments, tick)) * rate)  # floor: never negative
                hits.append((sample, index, position, key, int(data[2])))
            if kind == "End_track":
                end = base + time_at(segments, tick)
                ends.append(end)
                offset = end
    hits.sort(key=lambda h: (h[0], h[1], h[2]))
    length = max([int(end * rate) for end in ends] + [0])
    closed = sorted(h[0] for h in hits if h[3] in KINDS["HI-HAT CLOSED"][0])
    for kind, (keys, ring) in KINDS.items():
        starts = [h[0] for h in hits if h[3] in keys]
        for i, start in enumerate(starts):
            gap = starts[i + 1] - start if i + 1 < len(starts) else 1 << 62
            if kind == "HI-HAT OPEN":  # the choke: the next closed hat strictly after stops it
                later = [c for c in closed if c > start]
                if later:
                    gap = min(gap, later[0] - start)
            length = max(length, start + min(gap, int(rate * ring)))
    return [(h[0], h[3], h[4], h[1] + 1) for h in hits], skipped, length


def listed(kettorin, path, rate):
    out = subprocess.run([*kettorin, "midi", path, "--list", "-r", str(rate)],
                         capture_output=True, text=True)
    assert out.returncode == 0, out.stderr
    lines = out.stdout.splitlines()
    hits, skipped, length = [], {}, None
    rows = False
    for line in lines:
        if line.startswith("Skipped keys (notes): "):
            for item in line.split(": ", 1)[1].split(", "):
                key, count = item.split(" (")
                skipped[int(key)] = int(count.rstrip(")"))
        elif line.strip().startswith("sample "):
            rows = True
        elif rows and line.strip():
            fields = line.split()
            if fields[1] == "hits," or fields[1] == "hit,":
                length = int(fields[2])
                rows = False
            else:
                hits.append((int(fields[0]), int(fields[2]), int(fields[3]), int(fields[4])))
    return hits, skipped, length


def main():
    kettorin = shlex.split(sys.argv[1])
    files = mma_files()
    if not shutil.which("midicsv") or not files:
        print("skipped: install the Debian packages mma and midicsv to compare real files")
        return 77
    failures = 0
    drum_files = 0
    for path in files:
        for rate in (44100, 22050):
            want = expected(path, rate)
            got = listed(kettorin, path, rate)
            if got != want:
                failures += 1
                print(f"FAIL {path} at {rate} Hz: {len(got[0])} hits, skipped {got[1]}, length "
                      f"{got[2]}; midicsv: {len(want[0])} hits, skipped {want[1]}, length "
                      f"{want[2]}")
                for a, b in zip(got[0], want[0]):
                    if a != b:
                        print(f"  first difference: {a} (kettorin) != {b} (midicsv)")
                        break
        drum_files += bool(want[0])
    print(f"{len(files)} files ({drum_files} with drums), {failures} differences")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
