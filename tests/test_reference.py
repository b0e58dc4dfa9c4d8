"""The command's files equal those of the plain second implementation, byte for byte.

Both the 16-bit file and the float file (--float) are compared: the float file shows every bit of
every sample, which the 16-bit conversion would hide.

Usage: test_reference.py KETTORIN
"""
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import reference  # noqa: E402

# (drum, notes, rate, tempo): every kind, low and high rates, attack lengths of 0 and more,
# accidentals, wrapped and negative duration numbers, and notes short enough to overshoot.
CASES = [
    ("kick", "C D E F G A B", 8000, 240),
    ("kick", "A1", 300, 60),              # release sample slightly above 0.9
    ("snare", "C D", 800, 100),
    ("snare", "C#2 Db8 E", 22050, 180),
    ("hihat_close", "C C8 C16", 44100, 200),
    ("hihato", "A2", 16000, 150),
    ("high_tom", "A G2", 11025, 240),
    ("mid_tom", "A E#", 11025, 240),
    ("low_tom", "Ab B", 11025, 240),
    ("tom", "A32 A64", 44100, 999),       # short enough to leave full scale
    ("cowbell", "A C2", 11025, 200),
    ("clap", "D D8", 22050, 200),
    ("ride", "E1", 8000, 200),
    ("crash", "F1", 8000, 160),
    ("kick", "C4294967297 D-", 4000, 120),  # wraps to 1
    ("snare", "C0 D00 E", 4000, 120),       # N = 0 notes are skipped
    ("clap", "A", 200, 120),                # attack of 0 samples
]


def main():
    kettorin = sys.argv[1]
    failures = 0
    with tempfile.TemporaryDirectory() as folder:
        for drum, notes, rate, tempo in CASES:
            samples = reference.render(drum, notes, rate, tempo)
            for flag, expected, header, width in (
                    ([], reference.wav_bytes(samples, rate), 44, 2),
                    (["--float"], reference.wav_float_bytes(samples, rate), 58, 4)):
                path = os.path.join(folder, "case.wav")
                run = subprocess.run([kettorin, "-q", *flag, "-d", drum, "-r", str(rate), "-t",
                                      str(tempo), "-o", path, "--", notes], capture_output=True)
                actual = open(path, "rb").read() if run.returncode == 0 else b""
                if actual == expected:
                    continue
                failures += 1
                print(f"MISMATCH {flag} {drum} {notes!r} rate {rate} tempo {tempo}: "
                      f"{len(actual)} bytes, expected {len(expected)}")
                for offset in range(header, min(len(actual), len(expected)), width):
                    if actual[offset:offset + width] != expected[offset:offset + width]:
                        print(f"  first differing sample {(offset - header) // width}")
                        break
    print(f"{2 * len(CASES) - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
