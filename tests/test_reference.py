"""The command's files equal those of the plain second implementation, byte for byte: note
strings with `kettorin`, beats and songs with `kettorin beat` (and their stems).

The 16-bit file, the 24-bit file (--bits 24) and the float file (--float) are compared: the float
file shows every bit of every sample, which the PCM conversions would hide. Stereo files hold
frames, left then right.

Usage: test_reference.py KETTORIN
"""
import os
import struct
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

# Expression texts used by more than one row below.
FLAMS = ("steps 8\nsnare f-1-5-9-[x9]-d-\nkick flam=0.1 --xF-D-x-[xxx]--\n"
         "clap level=0.5 flam=0.0199 D---g---[fF]---\ntom flam=0.0625 -xf-x-[xF]-----\n")
SHIFTS = ("tempo 240\nsteps 8\nsnare shift=-20.03 x--x-x-x\nkick shift=50 x---x-xx\n"
          "hihatc shift=-0.53e1 x-x-x-x-\n")
CHOKES = ("steps 2\nhihat x-o-x-O-[xo]o\nhihato ring=2 --x---x--x\nhihatc chance=0 x-x?---x--\n"
          "HH ring=0.3 o---x---o-\n")
HUMAN = ("seed 7\nhumanize 10 20\nsnare chance=0.6 level=0.9 ????x???\nkick x?x?[x?]-f-\n"
         "hihat chance=1 ?o?o?o?o\nclap chance=0 ??x?????\n")
PANS = ("tempo 130\npattern a\nkick pan=0 x-x-\nsnare pan=-1 level=2 --X-\nride pan=1 xxxx\n"
        "pattern b\ntom pan=0.35 x-x-\nclap pan=-0.8e-1 -x-x\nride pan=+0.999 x-xx\n"
        "hihatc xxxx\nplay a b a\n")

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
    # Songs: the example; tempo, steps and swing changing between patterns, with the swing's odd
    # steps counted on through a 3-step pattern played twice in one segment; a lane ringing from
    # one pattern into the next, cut by its hit there, each line with its own pitch, ring and level;
    # a loop whose lanes start in different patterns; the song's tempo replaced (a pattern's own
    # kept) and its repeat; a replaced tempo equal to a pattern's own, joining their segments; a
    # pattern never played, whose lanes still come first in the mix's order, with stems.
    (open(os.path.join(EXAMPLES, "song.beat")).read(), 8000, [], {}),
    ("tempo 100\nswing 60\npattern a\nkick X--x-x-\nhihatc x-xxx-x\npattern b\nsteps 3\n"
     "swing 70\nsnare -xX\nkick x--\npattern c\ntempo 137\nswing 50\nride ring=0.3 x-x-x\n"
     "play a b*2 c a\n", 11025, [], {}),
    ("tempo 180\npattern a\ncrash ring=3 --X-\ntom pitch=E ring=2 x--x\npattern b\ntempo 150\n"
     "crash level=0.5 --x-\ntom pitch=A ring=0.05 x---\nhigh_tom pitch=D X-x-\nplay a b a\n", 8000,
     [], {}),
    ("steps 2\npattern a\nkick x-x-\nhihato ring=0.6 --x-\npattern b\ntempo 90\n"
     "snare ring=1 -x-X\nhihato --x-\nkick ---x\n", 8000, ["--loop"], {"loop": True}),
    ("tempo 100\nrepeat 3\npattern a\nkick x-x-\nsnare --X-\npattern b\ntempo 140\nkick xx-x\n"
     "play b a*2\n", 8000, ["-t", "75", "--repeat", "2"], {"tempo": 75, "repeat": 2}),
    ("pattern a\nkick x-x\npattern b\ntempo 97\nsnare x-x\nplay a b a\n", 8000,
     ["-t", "97"], {"tempo": 97}),
    ("pattern a\nsnare x-x-\nplay a b*2\npattern unused\nkick x-\ncowbell x-\npattern b\n"
     "clap level=1.7 x-x-\nkick X--x\nsnare -x-x\nsnare ring=0.1 x---\n", 8000,
     ["--stems", "--gain", "5"], {"gain_db": 5.0}),
    # Expression: both examples; velocities, flams and drags, with graces before the first step
    # (clamped onto the hit there without --loop, at the end of the file with it) and a flam's
    # grace before the hit ahead of it in the lane or on its very sample; brackets of 1, 2, 3 and
    # 16 cells (rests inside) with one as the last step of an odd swung segment, so the end of its
    # segment divides it.
    (open(os.path.join(EXAMPLES, "tab.beat")).read(), 8000, [], {}),
    (open(os.path.join(EXAMPLES, "pattern_book.beat")).read(), 8000, [], {}),
    (FLAMS, 8000, [], {}),
    (FLAMS, 8000, ["--loop"], {"loop": True}),
    ("steps 2\nswing 66\npattern a\nkick [x]-[xX]-[xxx]\nhihatc [xxxxxxxxxxxxxxxx]-x-[x-g]\n"
     "pattern b\ntempo 90\nsnare [1234]-x\nkick --[xx]\nplay a b a\n", 8000, [], {}),
    # The accent line on cells, bracket cells and graces, a pattern without one, and one standing
    # first; shifts early and late past both ends (an exponent among them), with and without loop.
    ("pattern a\nsnare level=0.8 x-[xx]-f-d-x-[g?]-\nkick X-x---x-1-x-\naccent x.X.--x---x-\n"
     "pattern b\nAc --x-\nsnare x-xx\nkick 9-D-\nplay a b a\n", 8000, [], {}),
    (SHIFTS, 8000, [], {}),
    (SHIFTS, 8000, ["--loop"], {"loop": True}),
    # Choke: a hihat line's open hat cut by its own closed one and by another lane's, separate
    # open and closed lanes, a closed hat on an open one's start (no cut), a silent ? (no cut),
    # round the loop; off by the directive and by the flag over `choke on`; the hihat lanes' stems.
    (CHOKES, 8000, ["--loop", "--stems"], {"loop": True}),
    (CHOKES, 8000, [], {}),
    ("choke off\n" + CHOKES, 8000, ["--loop"], {"loop": True}),
    ("choke on\n" + CHOKES, 8000, ["--no-choke"], {"choke": False}),
    # Seeded chance hits and a human feel: the text's seed and humanize, each replaced by the
    # flags (a seed whose next one wraps to 0), negative moves wrapping round the loop; humanize
    # 0 0 from the flag over the text's, which must sound as plain (checked in main).
    (HUMAN, 8000, ["--loop"], {"loop": True}),
    (HUMAN, 8000, ["--seed", "4294967295"], {"seed": 4294967295}),
    (HUMAN, 8000, ["--humanize", "25,100"], {"humanize": (25, 100)}),
    (HUMAN, 8000, ["--humanize", "0,0", "--seed", "3"], {"humanize": (0, 0), "seed": 3}),
    # Names: every tab name in both cases, glued to the grid, count lines (one before the first
    # pattern), BD and kick one lane across patterns, today's prefixes; key lines through the key
    # table and --map, a key's open hat choked by a key's closed one.
    ("1 + 2 + 3 + 4 +\npattern a\nBD|x---|\nsn ---x\nS --x-\nch x-x-\nOH|--x-|\nhf ---x\n"
     "t1 x---\nMT -x--\nft --x-\nCB ---x\ncp x---\nrd -x--\ncr x---\nTomtom -x--\nkickdrum --x-\n"
     "pattern b\n1 e + a\nkick x--x\nk -x--\nsnare x---\nFH x-x-\nt ---x\nht -x--\nt2 x---\n"
     "t3 --x-\nlt -x--\nf ---x\nb x---\nsd --x-\nr x---\nrc --x-\nc x---\ncc --x-\noh --x-\n",
     8000, [], {}),
    ("54 x-x-\n36 X---\n50 pitch=E x--x\n46 --x-\n44 ---x\n", 8000,
     ["--map", "54=cowbell", "--map", "36=low_tom"], {"mapping": {54: 7, 36: 6}}),
    # Stereo: by the flag; by pan= lines at both ends, the centre and between (one loud enough to
    # set the peak on one side alone), and by --mono not at all; by the directive, every kind at
    # its own place; by a pan= in a pattern never played; by --pan alone, a hihat line's open hats
    # at the closed hat's place while an open hat line takes --pan's, with the lanes' stems; --pan
    # for kinds, under a line's own pan= and through key lines; a loop whose ringing ride wraps;
    # gain without normalisation, saturating on one side; stems with the mix's gain and
    # normalisation.
    (open(os.path.join(EXAMPLES, "groove.beat")).read(), 8000, ["--stereo"], {"channels": 2}),
    (PANS, 8000, [], {}),
    (PANS, 8000, ["--mono"], {"channels": 1}),
    ("stereo\nsteps 1\n" + "".join(f"{k} x\n" for k in [
        "kick", "snare", "hihatc", "hihato", "tom", "mid_tom", "low_tom", "cowbell", "clap", "ride",
        "crash"]), 8000, ["--gain", "-12"], {"gain_db": -12}),
    ("pattern a\nkick x-x-\nhihato --x-\nplay a\npattern b\ncowbell pan=0.5 x-\n", 8000, [], {}),
    (CHOKES, 8000, ["--pan", "hihato=0.9", "--loop", "--stems"],
     {"pans": {3: 0.9}, "loop": True}),
    ("steps 2\nride x-x-X-x-\nkick X---x---\nkick pan=-0.25 --x---x-\nsnare ----x---\n"
     "42 x-x-x-x-\n51 ---x---x\n", 8000,
     ["--pan", "ride=-0.5", "--pan", "kick=1", "--pan", "hihatc=0.125"],
     {"pans": {9: -0.5, 0: 1.0, 2: 0.125}}),
    ("steps 2\nswing 66\nride ring=3 pan=0.7 -X-x\nkick x--x\nclap pan=-0.4 g-X-\n", 11025,
     ["--loop", "--repeat", "3"], {"loop": True, "repeat": 3}),
    ("tempo 150\nsnare level=2.5 pan=-1 X-g-x-g-\nhihato ring=0.07 pan=0.5 xxxxxxxx\n", 8000,
     ["--gain", "-4.5", "--no-normalize"], {"gain_db": -4.5, "normalize": False}),
    ("pattern a\nsnare pan=-0.6 x-x-\nplay a b*2\npattern b\nclap level=1.7 x-x-\nkick X--x\n"
     "snare -x-x\nsnare ring=0.1 pan=0.9 x---\n", 8000,
     ["--stems", "--gain", "5", "--pan", "clap=0.3"], {"gain_db": 5.0, "pans": {8: 0.3}}),
    # A loop too short for a single sample: its hits, shifted late, have none to land on.
    ("tempo 999\nsteps 64\nkick shift=40 x-x\nride x-x\n", 50, ["--loop"], {"loop": True}),
]


def midi(fmt, division, *tracks):
    """A file from tracks of (delta, event bytes) pairs, each closed with an end of track."""
    chunks = [b"MThd" + struct.pack(">IHHH", 6, fmt, len(tracks), division)]
    for events in tracks:
        body = b""
        for delta, event in events + [(0, b"\xff\x2f\x00")]:
            out = [delta & 0x7F]
            while delta > 0x7F:
                delta >>= 7
                out.insert(0, 0x80 | (delta & 0x7F))
            body += bytes(out) + event
        chunks.append(b"MTrk" + struct.pack(">I", len(body)) + body)
    return b"".join(chunks)


def on(key, velocity=100, channel=10):
    return bytes([0x90 | (channel - 1), key, velocity])


def tempo(micros):
    return b"\xff\x51\x03" + micros.to_bytes(3, "big")


HATS = midi(0, 96, [(0, on(46)), (48, on(42, 80)), (24, on(46, 90)), (0, on(44)), (48, on(42)),
                    (24, on(54, 70)), (96, on(36))])

# (file, rate, command options, reference options): tempo changes with the later tempo of one tick
# winning, snare keys cutting each other off, two hits on one sample, every kind; mappings, a
# channel and gain without normalisation; format 2; SMPTE; a real file where mma is installed.
MIDIS = [
    (midi(1, 96, [(192, tempo(400000)), (96, tempo(700000))],
          [(0, on(36, 127)), (0, on(42, 60)), (48, on(38)), (24, on(40, 80)), (0, on(44, 30)),
           (0, on(42, 90)), (48, on(46)), (0, on(56, 64)), (96, on(50)), (0, on(47)),
           (0, on(45, 110)), (0, on(51)), (0, on(36, 1)), (48, on(39, 127)), (0, on(49)),
           (48, b"\x89\x31\x00"), (0, on(35))]), 8000, [], {}),
    (midi(0, 120, [(0, on(54)), (0, on(36, 90, 1)), (60, on(54, 40)), (0, on(38, 127, 1)),
                   (120, b"\xc0\x05"), (0, on(36, 50, 1)), (240, b"\xff\x01\x01x")]),
     11025, ["--map", "54=cowbell", "--map", "36=low_tom", "--channel", "1", "--gain", "-6",
             "--no-normalize"],
     {"mapping": {54: 7, 36: 6}, "channel": 1, "gain_db": -6.0, "normalize": False}),
    (midi(2, 48, [(0, tempo(300000)), (0, on(36)), (24, on(38)), (24, on(36))],
          [(12, on(57)), (36, on(42))]), 8000, [], {}),
    (midi(0, 0xE728, [(0, on(36)), (333, on(40)), (0, on(59)), (100, on(55))]), 8000, [], {}),
    # Choke: an open hat cut by the next closed one (42, 44), not by one on its own tick, a mapped
    # key's open hat too, the last one ringing on; and without it.
    (HATS, 8000, ["--map", "54=hihato"], {"mapping": {54: 3}}),
    (HATS, 8000, ["--map", "54=hihato", "--no-choke"], {"mapping": {54: 3}, "choke": False}),
]
# Stereo: the first file's every kind at its own place; a mapped key at its kind's; --pan alone
# asks for it, --mono ignores it; the second's gain without normalisation.
MIDIS += [
    (MIDIS[0][0], 8000, ["--stereo"], {"channels": 2}),
    (HATS, 8000, ["--map", "54=hihato", "--pan", "hihato=1", "--pan", "kick=-1"],
     {"mapping": {54: 3}, "pans": {3: 1.0, 0: -1.0}}),
    (HATS, 8000, ["--pan", "hihato=1", "--mono"], {"pans": {3: 1.0}, "channels": 1}),
    (MIDIS[1][0], 11025, MIDIS[1][2] + ["--stereo"], {**MIDIS[1][3], "channels": 2}),
]
REAL = "/usr/share/doc/mma/examples/solo/drum-sequence.mid"
if os.path.exists(REAL):
    MIDIS.append((open(REAL, "rb").read(), 8000, [], {}))


# u(p, lane, j) for a few (seed, p, lane, j). The hash takes 0 to 0, so seed 0's chance draw for
# lane 0, j 0 is (0 - 8388607.5) / 8388607.5 = -1 exactly, and so is seed 4294967295's time draw
# there (4294967295 + 1 wraps to 0). The others were computed apart, in numpy's uint32.
DRAWS = [((0, 0, 0, 0), -1.0), ((4294967295, 1, 0, 0), -1.0),
         ((0, 1, 2, 5), 0.04304296150803566), ((7, 2, 1, 3), 0.8572616577148438),
         ((99, 0, 3, 17), -0.45140311121940613)]


def check_reference():
    """The second implementation against hand values, before it judges the command."""
    for (seed, p, lane, j), u in DRAWS:
        assert reference.draw(seed, p, lane, j) == u, (seed, p, lane, j)
    plain = HUMAN.replace("humanize 10 20\n", "")
    assert reference.render_beat(plain, 8000) == reference.render_beat(
        plain.replace("seed 7", "humanize 0 0\nseed 7"), 8000)
    assert reference.render_beat(HUMAN, 8000) != reference.render_beat(HUMAN, 8000, seed=8)


def main():
    kettorin = sys.argv[1]
    check_reference()
    failures = 0
    beat_files = 0
    with tempfile.TemporaryDirectory() as folder:
        for drum, notes, rate, tempo in CASES:
            samples = reference.render(drum, notes, rate, tempo)
            for flag, expected, header, width in (
                    ([], reference.wav_bytes(samples, rate), 44, 2),
                    (["--bits", "24"], reference.wav24_bytes(samples, rate), 44, 3),
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
            samples, stems = reference.render_beat_stems(text, rate, **settings)
            channels = reference.beat_channels(text, settings.get("channels"),
                                               settings.get("pans"), settings.get("mapping"))
            # Every beat's files mark its plays; a loop's carry their loop.
            marks = reference.play_marks(text, rate, settings.get("tempo"), settings.get("repeat"),
                                         settings.get("mapping"))
            loop = bool(settings.get("loop"))
            source = os.path.join(folder, "case.beat")
            with open(source, "w", encoding="utf-8", newline="") as f:
                f.write(text)
            for flag, write, header, width in (([], reference.wav_bytes, 44, 2),
                                               (["--bits", "24"], reference.wav24_bytes, 44, 3),
                                               (["--float"], reference.wav_float_bytes, 58, 4)):
                path = os.path.join(folder, "case.wav")
                run = subprocess.run([kettorin, "beat", source, "-q", *flag, "-r", str(rate),
                                      *options, "-o", path], capture_output=True)
                files = [("case.wav", samples)]
                if "--stems" in options:
                    files += [(f"case.{name}.wav", stem) for name, stem in stems]
                written = {}
                for name in sorted(os.listdir(folder)):
                    if name.endswith(".wav"):
                        written[name] = open(os.path.join(folder, name), "rb").read()
                        os.remove(os.path.join(folder, name))
                beat_files += len(files)
                if run.returncode != 0:
                    failures += len(files)
                    print(f"MISMATCH beat {flag} {options} rate {rate}: status {run.returncode}; "
                          f"{run.stderr.decode().strip()}")
                    continue
                if sorted(written) != sorted(name for name, _ in files):
                    failures += 1
                    beat_files += 1
                    print(f"MISMATCH beat {flag} {options} rate {rate}: wrote {sorted(written)}")
                for name, expected in files:
                    expected = write(expected, rate, channels, marks, loop)
                    actual = written.get(name, b"")
                    if actual == expected:
                        continue
                    failures += 1
                    print(f"MISMATCH beat {name} {flag} {options} rate {rate}: {len(actual)} "
                          f"bytes, expected {len(expected)}")
                    for offset in range(header, min(len(actual), len(expected)), width):
                        if actual[offset:offset + width] != expected[offset:offset + width]:
                            print(f"  first differing sample {(offset - header) // width}")
                            break
        for data, rate, options, settings in MIDIS:
            samples = reference.render_midi(data, rate, **settings)
            channels = reference.midi_channels(settings.get("channels"), settings.get("pans"))
            source = os.path.join(folder, "case.mid")
            with open(source, "wb") as f:
                f.write(data)
            for flag, write in (([], reference.wav_bytes),
                                (["--bits", "24"], reference.wav24_bytes),
                                (["--float"], reference.wav_float_bytes)):
                expected = write(samples, rate, channels)
                path = os.path.join(folder, "case.wav")
                run = subprocess.run([kettorin, "midi", source, "-q", *flag, "-r", str(rate),
                                      *options, "-o", path], capture_output=True)
                actual = open(path, "rb").read() if run.returncode == 0 else b""
                if actual == expected:
                    continue
                failures += 1
                print(f"MISMATCH midi {flag} {options} rate {rate}: {len(actual)} bytes, expected "
                      f"{len(expected)}; {run.stderr.decode().strip()}")
    total = 3 * (len(CASES) + len(MIDIS)) + beat_files
    print(f"{total - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
