"""Inputs built to exhaust time or memory, each run through the command with its status, its time
and its peak memory (from /usr/bin/time), printed as the README's table.

Usage: /usr/bin/python3 bench/hostile.py build/kettorin
"""
import os
import struct
import subprocess
import sys
import tempfile

KETTORIN = sys.argv[1]


def quantity(v):
    out = [v & 0x7F]
    while v > 0x7F:
        v >>= 7
        out.insert(0, 0x80 | (v & 0x7F))
    return bytes(out)


def midi(events):
    track = b"".join(events) + b"\x00\xff\x2f\x00"
    return (b"MThd" + struct.pack(">IHHH", 6, 0, 1, 480) + b"MTrk" + struct.pack(">I", len(track))
            + track)


def nested(depth, count):
    text = "a"
    for _ in range(depth):
        text = f"({text})*{count}"
    return text


def cases(folder):
    def file(name, data):
        path = os.path.join(folder, name)
        with open(path, "wb") as f:
            f.write(data if isinstance(data, bytes) else data.encode())
        return path

    yield ("a play line whose counts multiply past the limit (`a*10000 (a*10000)*10000`)",
           ["beat", file("counts.beat", "pattern a\nkick x\nplay a*10000 (a*10000)*10000\n")])
    yield ("groups nested 8 deep, counts of 10,000",
           ["beat", file("nested.beat", f"pattern a\nkick x\nplay {nested(8, 10000)}\n")])
    bracket = "[" + "x" * 16 + "]"
    yield ("brackets of 16 cells on every step, 64 steps a beat, 256 steps, repeat 1000: "
           "4,096,000 hits",
           ["beat", file("brackets.beat", "tempo 999\nsteps 64\nrepeat 1000\nsnare "
                         + bracket * 256 + "\n"), "-r", "8000"])
    yield ("the same, repeat 1025: 4,198,400 hits, past the 4,194,304 a beat may have",
           ["beat", file("brackets1.beat", "tempo 999\nsteps 64\nrepeat 1025\nsnare "
                         + bracket * 256 + "\n"), "-r", "8000"])
    yield ("10,000 lanes (10,000 kick lines in one pattern)",
           ["beat", file("lanes.beat", "kick x---\n" * 10000), "-r", "8000"])
    yield ("a 100 MB text (comments round one drum line)",
           ["beat", file("big.beat", ("# " + "c" * 97 + "\n") * 1000000 + "kick x---\n")])
    yield ("a line of a million steps (at 44.1 kHz: too long)",
           ["beat", file("million.beat", "kick " + "x" * 1000000 + "\n")])
    yield ("a line of a million steps at 999 BPM, 64 a beat, 8 kHz",
           ["beat", file("million64.beat", "tempo 999\nsteps 64\nkick " + "x" * 1000000 + "\n"),
            "-r", "8000"])
    notes = [quantity(1) + bytes([0x99, 36 + (i % 12), 100]) for i in range(4_000_000)]
    yield ("a MIDI file with 4 million notes", ["midi", file("notes.mid", midi(notes)), "-r",
                                                "8000"])
    notes += [quantity(1) + bytes([0x99, 36, 100])] * (4_194_305 - len(notes))
    yield ("a MIDI file with 4,194,305 notes, one past the 2^22 kept",
           ["midi", file("notes1.mid", midi(notes)), "-r", "8000"])
    tempos = [quantity(1) + b"\xff\x51\x03" + struct.pack(">I", 400000 + i % 200000)[1:]
              for i in range(1_000_000)]
    yield ("a MIDI file whose tempo map has a million changes",
           ["midi", file("tempos.mid", midi(tempos + [b"\x00\x99\x24\x64"])), "-r", "8000"])
    yield ("a MIDI file with 4 million notes, made into a song",
           ["midi", os.path.join(folder, "notes.mid"), "--to-beat"])

    def hit_after(bars):  # one hit `bars` 4/4 bars in: the gap in eight empty text events
        gap = bars * 4 * 480 // 8
        return midi([quantity(gap) + b"\xff\x01\x00"] * 8 + [b"\x00\x99\x24\x64"])
    yield ("a MIDI file with one hit a million bars in, made into a song",
           ["midi", file("far.mid", hit_after(1_000_000)), "--to-beat"])
    yield ("the same, 1,048,577 bars in, past the 2^20 plays a song may have",
           ["midi", file("far1.mid", hit_after(1_048_577)), "--to-beat"])


def main():
    folder = tempfile.mkdtemp()
    print("| input | what happens | status | time | peak memory |")
    print("|---|---|---|---|---|")
    for what, args in cases(folder):
        out = os.path.join(folder, "out.wav")
        r = subprocess.run(["/usr/bin/time", "-f", "%e %M", KETTORIN, *args, "-q", "-o", out],
                           capture_output=True, text=True)
        lines = r.stderr.strip().splitlines()
        seconds, kib = lines[-1].split()
        said = next((line for line in lines[:-1] if line.startswith(("Error", "kettorin:")) or
                     ": " in line), "")
        size = os.path.getsize(out) if r.returncode == 0 else 0
        happened = (said if r.returncode else f"a song of {size / 1e3:.1f} KB" if "--to-beat" in args
                    else f"rendered, {size / 1e6:.1f} MB")
        print(f"| {what} | {happened} | {r.returncode} | {float(seconds):.2f} s | "
              f"{int(kib) / 1024:.0f} MB |")
        for name in os.listdir(folder):
            if name.startswith("out"):
                os.remove(os.path.join(folder, name))
    for name in os.listdir(folder):
        os.remove(os.path.join(folder, name))
    os.rmdir(folder)


if __name__ == "__main__":
    main()
