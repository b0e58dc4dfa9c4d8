"""Renders a fixed set of compositions natively and on another platform and compares the files.

Every drum kind at several rates and tempos, 440 notes in all. Both the 16-bit file the library
writes and the float file of the command (--float) are compared, byte for byte. Any difference is
reported sample by sample: how many differ and by how much.

Usage:
  compare_platforms.py --native KETTORIN --other "PREFIX... kettorin" [--host "PREFIX... win_host"]
                       [--windows-paths]
With --host, the 16-bit files are composed through that host program's batch mode (one process,
the library loaded at run time); otherwise through the other command.
"""
import argparse
import os
import shlex
import struct
import subprocess
import sys
import tempfile

DRUMS = ["kick", "snare", "hihat_close", "hihat_open", "high_tom", "mid_tom", "low_tom", "cowbell",
         "clap", "ride", "crash"]
SETTINGS = [(8000, 200), (22050, 140), (44100, 180), (96000, 240), (11025, 90), (48000, 300)]


def compositions():
    state = 12345
    def next_value(n):
        nonlocal state
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        return (state >> 8) % n
    result = []
    for index, drum in enumerate(DRUMS):
        for setting in range(2):
            rate, tempo = SETTINGS[(2 * index + setting) % len(SETTINGS)]
            notes = []
            for _ in range(20):
                note = "ABCDEFG"[next_value(7)] + ["", "", "#", "b"][next_value(4)]
                note += ["", "1", "2", "3", "8", "16"][next_value(6)]
                notes.append(note)
            result.append((drum, " ".join(notes), rate, tempo))
    return result


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def samples(data, header, fmt):
    width = struct.calcsize(fmt)
    return [struct.unpack_from(fmt, data, at)[0] for at in range(header, len(data), width)]


def float_bits(x):
    return struct.unpack("<i", struct.pack("<f", x))[0]


def describe(native, other, is_float):
    if len(native) != len(other):
        return f"sizes differ: {len(native)} and {len(other)} bytes"
    header, fmt = (58, "<f") if is_float else (44, "<h")
    a, b = samples(native, header, fmt), samples(other, header, fmt)
    differing = [i for i in range(len(a)) if a[i] != b[i] and not (a[i] != a[i] and b[i] != b[i])]
    if not differing:
        return "headers differ"
    if is_float:
        worst = max(abs(float_bits(a[i]) - float_bits(b[i])) for i in differing)
        unit = "ulp"
    else:
        worst = max(abs(a[i] - b[i]) for i in differing)
        unit = "16-bit steps"
    return (f"{len(differing)} of {len(a)} samples differ, at most {worst} {unit}; "
            f"first at sample {differing[0]}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--native", required=True)
    parser.add_argument("--other", required=True)
    parser.add_argument("--host")
    parser.add_argument("--windows-paths", action="store_true")
    args = parser.parse_args()
    other = shlex.split(args.other)
    convert = windows_path if args.windows_paths else (lambda p: p)

    cases = compositions()
    folder = tempfile.mkdtemp(prefix="kettorin-cross-")
    def out(kind, i, ext):
        return os.path.join(folder, f"{kind}{i}.{ext}")

    for i, (drum, notes, rate, tempo) in enumerate(cases):
        common = ["-q", "-d", drum, "-r", str(rate), "-t", str(tempo)]
        subprocess.run([args.native, *common, "-o", out("native", i, "wav"), "--", notes],
                       check=True)
        subprocess.run([args.native, *common, "--float", "-o", out("native", i, "f.wav"), "--",
                        notes], check=True)
        subprocess.run([*other, *common, "--float", "-o", convert(out("other", i, "f.wav")),
                        "--", notes], check=True, capture_output=True)
        if not args.host:
            subprocess.run([*other, *common, "-o", convert(out("other", i, "wav")), "--", notes],
                           check=True, capture_output=True)

    if args.host:
        listing = os.path.join(folder, "batch.txt")
        with open(listing, "w", encoding="utf-8") as f:
            for i, (drum, notes, rate, tempo) in enumerate(cases):
                f.write(f"{drum}\t{notes}\t{rate}\t{tempo}\t{convert(out('other', i, 'wav'))}\n")
        run = subprocess.run([*shlex.split(args.host), "batch", convert(listing)],
                             capture_output=True, text=True)
        statuses = run.stderr.split()
        if run.returncode != 0 or statuses.count("999") != len(cases):
            print(f"host failed ({run.returncode}): {run.stderr[-2000:]}")
            return 1

    failures = 0
    total = 0
    for i, (drum, notes, rate, tempo) in enumerate(cases):
        for ext, is_float in (("wav", False), ("f.wav", True)):
            native = open(out("native", i, ext), "rb").read()
            other_bytes = open(out("other", i, ext), "rb").read()
            total += len(native)
            if native != other_bytes:
                failures += 1
                print(f"DIFFERENT {drum} rate {rate} tempo {tempo} {ext}: "
                      f"{describe(native, other_bytes, is_float)}")
    notes_count = sum(len(c[1].split()) for c in cases)
    print(f"compared {len(cases)} compositions ({notes_count} notes, {total} bytes) "
          f"in 16-bit and float files")
    print(f"{2 * len(cases) - failures} passed, {failures} failed")
    subprocess.run(["rm", "-rf", folder])
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
