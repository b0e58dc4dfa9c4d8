"""The command's files equal those of the plain second implementation, byte for byte: note
strings with `kettorin`, beats with `kettorin beat`.

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


EXAMPLES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples")

# (beat text, rate, command options, reference options): swing, accents and ghosts, loops that
# wrap, gain without normalisation (saturating), overridden tempo and repeats, every kind with
# pitches, and the text format's byte-order mark, CRLF, tabs and comments.
BEATS = [
    (open(os.path.join(EXAMPLES, "groove.beat")).read(), 8000, [], {}),
    ("steps 2\nswing 66\nride ring=3 -X-x\nkick x--x\nclap g-X-\n", 11025,
     ["--loop", "--repeat", "3"], {"loop": True, "repeat": 3}),
    ("tempo 150\nsnare level=2.5 X-g-x-g-\nhihato ring=0.07 xxxxxxxx\n", 8000,
     ["--gain", "-4.5", "--no-normalize"], {"gain_db": -4.5, "normalize": False}),
    ("steps 3\nkick X--x--\nmid_tom pitch=D x-xX-x\n", 22050, ["-t", "999", "--repeat", "20"],
     {"tempo": 999, "repeat": 20}),
    ("steps 1\n" + "".join(f"{k} pitch={p} x\n" for k, p in zip(
        ["kick", "snare", "hihatc", "hihato", "tom", "mid_tom", "low_tom", "cowbell", "clap",
         "ride", "crash"], ["C", "F#", "C", "C", "Bb", "A", "Eb", "G#", "C", "C", "C"])), 8000,
     ["--gain", "-30"], {"gain_db": -30}),
    ("\ufeff# comments, CRLF, tabs\r\ntempo\t90\r\n\tlow_tom\tpitch=C#\tx-x-|o-O-\r\n"
     "cowbell pitch=E level=0.5 ..x.|..x. # off-beat\r\n", 16000, ["--gain", "3"],
     {"gain_db": 3.0}),
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
        for text, rate, options, settings in BEATS:
            samples = reference.render_beat(text, rate, **settings)
            source = os.path.join(folder, "case.beat")
            with open(source, "w", encoding="utf-8", newline="") as f:
                f.write(text)
            for flag, expected in (([], reference.wav_bytes(samples, rate)),
                                   (["--float"], reference.wav_float_bytes(samples, rate))):
                path = os.path.join(folder, "case.wav")
                run = subprocess.run([kettorin, "beat", source, "-q", *flag, "-r", str(rate),
                                      *options, "-o", path], capture_output=True)
                actual = open(path, "rb").read() if run.returncode == 0 else b""
                if actual == expected:
                    continue
                failures += 1
                print(f"MISMATCH beat {flag} {options} rate {rate}: {len(actual)} bytes, expected "
                      f"{len(expected)}; {run.stderr.decode().strip()}")
    print(f"{2 * (len(CASES) + len(BEATS)) - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
