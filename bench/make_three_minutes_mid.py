#!/usr/bin/env python3
"""Writes bench/three_minutes.mid: three minutes of a General MIDI drum track with 2,000 hits, the
file the MIDI benchmarks render. Format 1: a tempo track (120 BPM, then 126 BPM and back to 120
for the bridge) and a drum track on channel 10 at 480 ticks a quarter note, with note-offs, as
sequencers write them.

Usage: bench/make_three_minutes_mid.py [OUT]   (default bench/three_minutes.mid)
"""
import os
import struct
import sys

TPQ = 480
SIXTEENTH = TPQ // 4
HITS = 2000


def number(value):
    """A variable-length number."""
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.insert(0, 0x80 | (value & 0x7F))
        value >>= 7
    return bytes(out)


def track(events):
    """Events (tick, bytes) in tick order, to an MTrk chunk ending at the last tick."""
    body, now = b"", 0
    for tick, data in sorted(events, key=lambda e: e[0]):
        body += number(tick - now) + data
        now = tick
    return b"MTrk" + struct.pack(">I", len(body)) + body


def groove():
    """(sixteenth, key, velocity) for every hit, bar by bar, until there are HITS."""
    hits = []
    bar = 0
    while len(hits) < HITS:
        at = bar * 16
        fill = bar % 8 == 7
        for step in range(16):
            if fill and step >= 12:
                hits.append((at + step, (50, 48, 45, 41)[step - 12], 110))  # toms down
            elif step % 2 == 0:
                hits.append((at + step, 46 if step == 14 else 42, 100 if step % 4 == 0 else 70))
            else:
                hits.append((at + step, 44, 45))  # pedal hi-hat between the eighths
        hits += [(at, 36, 120), (at + 6, 35, 90), (at + 8, 36, 115)]
        hits += [(at + 4, 38, 110), (at + 12, 40, 118)]
        if bar % 4 == 0:
            hits.append((at, 49 if bar % 8 == 0 else 57, 105))
        if bar % 2 == 1:
            hits += [(at + 10, 51, 80), (at + 15, 37, 40)]
        bar += 1
    return sorted(hits[:HITS])


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__),
                                                              "three_minutes.mid")
    drums = []
    for step, key, velocity in groove():
        tick = step * SIXTEENTH
        drums.append((tick, bytes([0x99, key, velocity])))
        drums.append((tick + SIXTEENTH // 2, bytes([0x89, key, 64])))
    # 120 BPM for bars 0-31, 126 for bars 32-63, 120 again; the track ends at three minutes:
    # 32 bars at 120 (64 s) + 32 at 126 (60.95 s) + 55.05 s at 120 (110.1 quarter notes).
    bar = 16 * SIXTEENTH
    end = 64 * bar + (55.047619 * 2) * TPQ
    tempo = [(0, b"\xff\x51\x03" + (500000).to_bytes(3, "big")),
             (32 * bar, b"\xff\x51\x03" + (476190).to_bytes(3, "big")),
             (64 * bar, b"\xff\x51\x03" + (500000).to_bytes(3, "big")),
             (int(end), b"\xff\x2f\x00")]
    drums.append((int(end), b"\xff\x2f\x00"))
    header = b"MThd" + struct.pack(">IHHH", 6, 1, 2, TPQ)
    with open(out, "wb") as f:
        f.write(header + track(tempo) + track(drums))


if __name__ == "__main__":
    main()
