"""What the command hands DAWs, samplers and datasets: a beat as a MIDI file that plays every hit
where the beat does, markers and loops in WAV files that every reader skips or understands, and
labels that say exactly where each hit's first sample is.

Usage: test_exchange.py KETTORIN [SNDFILE_READ]   (Debian's python3-mido for the MIDI checks)
"""
import csv
import os
import shlex
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import wave

try:
    import mido
except ImportError:  # the MIDI checks by a second reader are skipped
    mido = None

KETTORIN = []
SNDFILE_READ = None
EXAMPLES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples")

# A song whose every hit starts on a whole tick and whose segments last whole samples at 48 kHz:
# a tempo change (120 to 100, quarters of 500000 and 600000 microseconds), a change of steps and
# of meter (a bar of 3), bracket cells that divide 960 and a hihat line.
SONG = """tempo 120
steps 4
pattern verse
kick  x---x---x-x-x---
snare ----X-------X--g
hihat x-x-x-x-x-x-x-o-
pattern fill
tempo 100
steps 2
kick  x-x-x-
snare -[xx]x[xxx]XX
pattern waltz
steps 4
kick   x-----------
ride   x---x---x---
play verse*2 fill waltz verse
"""


def run(*args, cwd=None):
    return subprocess.run([*KETTORIN, *args], capture_output=True, text=True, cwd=cwd)


def labels(path):
    with open(path, newline="") as f:
        return list(csv.DictReader(f))


def data_chunk(path):
    """(channels, width, the data chunk's bytes) of a WAV file, walking its chunks."""
    with open(path, "rb") as f:
        data = f.read()
    at, fmt = 12, None
    while at + 8 <= len(data):
        tag, size = data[at:at + 4], struct.unpack("<I", data[at + 4:at + 8])[0]
        if tag == b"fmt ":
            fmt = struct.unpack("<HHIIHH", data[at + 8:at + 24])
        if tag == b"data":
            return fmt[1], fmt[5] // 8, data[at + 8:at + 8 + size]
        at += 8 + size + size % 2
    raise AssertionError(f"{path}: no data chunk")


class Exchange(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp()

    def tearDown(self):
        shutil.rmtree(self.folder)

    def path(self, name):
        return os.path.join(self.folder, name)

    def write(self, name, text):
        with open(self.path(name), "w") as f:
            f.write(text)
        return self.path(name)

    def test_a_beat_as_midi_plays_every_hit_where_the_beat_plays_it(self):
        for name, text, rate in (("song", SONG, 48000), ("stereo", None, 48000),
                                 ("song", SONG, 44100)):
            source = os.path.join(EXAMPLES, "stereo.beat") if text is None else \
                self.write(f"{name}.beat", text)
            mid = self.path(f"{name}.mid")
            r = run("beat", source, "-q", "-r", str(rate), "--midi", mid)
            self.assertEqual((r.returncode, r.stderr), (0, ""))
            self.assertFalse(os.path.exists(self.path(f"{name}.wav")))  # --midi alone: no sound
            out = {}
            for form, args in (("beat", [source]), ("midi", [mid])):
                r = run(form, *args, "-q", "-r", str(rate), "--labels", self.path(f"{form}.csv"),
                        "-o", self.path(f"{form}.wav"))
                self.assertEqual(r.returncode, 0, r.stderr)
                out[form] = sorted((int(row["start_sample"]), int(row["key"]))
                                   for row in labels(self.path(f"{form}.csv")))
            self.assertEqual(out["midi"], out["beat"], (name, rate))
            if mido is None:
                continue
            song = mido.MidiFile(mid)
            self.assertEqual((song.type, song.ticks_per_beat, len(song.tracks)), (0, 960, 1))
            events = list(song.tracks[0])
            ons = [m for m in events if m.type == "note_on" and m.velocity > 0]
            self.assertEqual(len(ons), len(out["beat"]))
            self.assertTrue(all(m.channel == 9 for m in ons))
            if text is SONG:
                self.assertEqual([m.text for m in events if m.type == "marker"],
                                 ["verse", "verse", "fill", "waltz", "verse"])
                self.assertEqual([m.tempo for m in events if m.type == "set_tempo"],
                                 [500000, 600000, 500000])  # waltz and verse: one segment
                self.assertEqual([(m.numerator, m.denominator) for m in events
                                  if m.type == "time_signature"], [(4, 4), (3, 4), (4, 4)])

    def test_a_beat_exported_and_read_back_as_a_song_keeps_its_hits(self):
        """Beat to MIDI to beat: every hit on the same sample, its level within the roundings to a
        velocity and back to a digit (0.5 / 127 and 0.5 / 9)."""
        source, mid = self.write("song.beat", SONG), self.path("song.mid")
        self.assertEqual(run("beat", source, "-q", "--midi", mid).returncode, 0)
        back = self.path("back.beat")
        r = run("midi", mid, "--to-beat", "-o", back)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("Steps: 12 per beat, every hit on its step", r.stdout + r.stderr)
        hits = {}
        for name, text in (("song", source), ("back", back)):
            r = run("beat", text, "-q", "-r", "48000", "--labels", self.path(f"{name}.csv"), "-o",
                    self.path(f"{name}.wav"))
            self.assertEqual(r.returncode, 0, r.stderr)
            hits[name] = sorted((int(x["start_sample"]), int(x["key"]), float(x["level"]))
                                for x in labels(self.path(f"{name}.csv")))
        self.assertEqual([h[:2] for h in hits["back"]], [h[:2] for h in hits["song"]])
        for (_, _, was), (_, _, now) in zip(hits["song"], hits["back"]):
            self.assertLessEqual(abs(now - was), 0.5 / 127 + 0.5 / 9 + 1e-6)

    def test_midi_tempos_velocities_ticks_and_lengths_are_rounded_to_the_nearest(self):
        if mido is None:
            self.skipTest("Debian's python3-mido is not installed")
        # (beat, tempos, notes as (tick, key, velocity, ticks to the note-off)) at 8000 Hz.
        cases = [
            # 60e6 / 90 is 666666.7 microseconds; x is 0.7 x 127 = 88.9, g 0.35 x 127 = 44.45.
            # The hits last 2666, 2667 and 1333 samples, 0.18 ticks each: 479.88, 480.06, 239.94.
            ("tempo 90\nkick x-X-\nsnare ---g\n", [(0, 666667)],
             [(0, 36, 89, 480), (480, 36, 127, 480), (720, 38, 44, 240)]),
            # 1 ms late is 8 samples, 0.002 beats: 1.92 ticks; 3992 samples are 958.08 ticks.
            ("snare shift=1 x---\n", [(0, 500000)], [(2, 38, 89, 958)]),
            # b's kick stands on the first beat of b's segment: its 4000 samples take b's tempo.
            ("pattern a\nkick x---\npattern b\ntempo 60\nkick x---\nplay a b\n",
             [(0, 500000), (960, 1000000)], [(0, 36, 89, 960), (960, 36, 89, 480)]),
        ]
        for text, tempos, notes in cases:
            source = self.write("t.beat", text)
            mid = self.path("t.mid")
            r = run("beat", source, "-q", "-r", "8000", "--midi", mid)
            self.assertEqual((r.returncode, r.stderr), (0, ""))
            tick, found, ons, offs = 0, [], {}, []
            for m in mido.MidiFile(mid).tracks[0]:
                tick += m.time
                if m.type == "set_tempo":
                    found.append((tick, m.tempo))
                elif m.type == "note_on" and m.velocity > 0:
                    ons.setdefault(m.note, []).append((tick, m.velocity))
                elif m.type in ("note_on", "note_off"):
                    on, velocity = ons[m.note].pop(0)
                    offs.append((on, m.note, velocity, tick - on))
            self.assertEqual(found, tempos, text)
            self.assertEqual(sorted(offs), notes, text)

    def test_midi_labels_tie_by_lane_and_round_their_seconds(self):
        # One track at 96 ticks a quarter, 120 BPM: a snare and a kick on tick 0, a snare a tick
        # (1/192 s) later; at 44100 Hz that is sample 229, 0.005192743764 s.
        events = b"\x00\x99\x26\x64" b"\x00\x99\x24\x64" b"\x01\x99\x26\x64" b"\x00\xff\x2f\x00"
        data = (b"MThd" + struct.pack(">IHHH", 6, 0, 1, 96) + b"MTrk" +
                struct.pack(">I", len(events)) + events)
        with open(self.path("t.mid"), "wb") as f:
            f.write(data)
        r = run("midi", self.path("t.mid"), "-q", "-r", "44100", "--labels", self.path("t.csv"),
                "-o", self.path("t.wav"))
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual([(x["start_sample"], x["start_seconds"], x["kind"], x["length"])
                          for x in labels(self.path("t.csv"))],
                         [("0", "0.000000000", "kick", "22050"),
                          ("0", "0.000000000", "snare", "229"),
                          ("229", "0.005192744", "snare", "22050")])

    def test_beat_wav_files_mark_their_plays_and_loops_loop_for_every_reader(self):
        source = self.write("song.beat", SONG)
        r = run("beat", source, "-q", "-r", "8000", "--loop", "--stems", "-o", self.path("l.wav"))
        self.assertEqual(r.returncode, 0, r.stderr)
        r = run("beat", source, "-q", "-r", "8000", "--float", "-o", self.path("f.wav"))
        self.assertEqual(r.returncode, 0, r.stderr)
        # Each play's first sample: a verse lasts 2 s, the fill at 100 BPM 1.8 s, the waltz 1.5 s.
        starts = [0, 16000, 32000, 46400, 58400]
        for name, loop in (("l.wav", True), ("l.kick.wav", True), ("f.wav", False)):
            channels, width, data = data_chunk(self.path(name))
            frames = len(data) // (width * channels)
            self.assertEqual(frames, 74400)
            with wave.open(self.path(name)) if width != 4 else open(os.devnull) as w:
                if width != 4:  # Python's wave reads PCM only
                    self.assertEqual(w.readframes(w.getnframes()), data)
            if SNDFILE_READ:
                info = subprocess.run([SNDFILE_READ, self.path(name), "markers"],
                                      capture_output=True, text=True).stdout
                cues = " ".join(map(str, starts))
                self.assertIn(f"{frames} 8000 1 ", info)
                self.assertIn(f" cues 5 {cues} loop " + (f"0 {frames}" if loop else "-"), info)
            if shutil.which("sox"):
                stat = subprocess.run(["sox", self.path(name), "-n", "stat"], capture_output=True,
                                      text=True).stderr
                self.assertRegex(stat, rf"Samples read: +{frames}\n")
        # The note-string form's file has no markers: header and samples only.
        r = run("-q", "-r", "8000", "-o", self.path("n.wav"), "C D")
        self.assertEqual(os.path.getsize(self.path("n.wav")), 44 + 2 * 2000)

    def test_labels_are_the_first_sample_of_each_hit(self):
        # Lines whose hits never overlap their lane's next: each stem is silent before each hit.
        text = "steps 2\nkick x---x-[xx]-\nsnare -x---x-X\nhihat x-o-x-g-\nride ---x----\n"
        source = self.write("l.beat", text)
        r = run("beat", source, "-q", "-r", "8000", "--float", "--stems", "--labels",
                self.path("l.csv"), "-o", self.path("l.wav"))
        self.assertEqual(r.returncode, 0, r.stderr)
        rows = labels(self.path("l.csv"))
        self.assertEqual(list(rows[0]), ["start_sample", "start_seconds", "lane", "kind", "key",
                                         "level", "length", "pattern", "step"])
        self.assertEqual([(int(x["start_sample"]), int(x["step"])) for x in rows],
                         sorted((int(x["start_sample"]), int(x["step"])) for x in rows))
        # How many samples each voice takes to leave zero: a note alone, from its first sample.
        lead = {}
        for kind in {row["kind"] for row in rows}:
            run("-q", "-r", "8000", "-d", kind, "--float", "-o", self.path("n.wav"), "C")
            n = struct.unpack(f"<{len(data_chunk(self.path('n.wav'))[2]) // 4}f",
                              data_chunk(self.path("n.wav"))[2])
            lead[kind] = next(i for i, x in enumerate(n) if x != 0)
        ended = {}
        for row in rows:
            lane, start = row["lane"], int(row["start_sample"])
            data = data_chunk(self.path(f"l.{lane}.wav"))[2]
            stem = struct.unpack(f"<{len(data) // 4}f", data)
            gap = stem[ended.get(lane, 0):start]
            self.assertEqual(set(gap) - {0.0}, set(), row)  # silent until the hit
            first = next(i for i in range(start, len(stem)) if stem[i] != 0)
            self.assertEqual(first, start + lead[row["kind"]], row)
            self.assertEqual(row["start_seconds"], f"{start // 8000}.{start % 8000 * 125000:09d}")
            ended[lane] = start + int(row["length"])

    def test_midi_labels_are_the_hits_the_listing_prints(self):
        mma = "/usr/share/mma/lib/pflib/rock1.mid"
        if not os.path.exists(mma):
            self.skipTest("Debian's mma is not installed")
        r = run("midi", mma, "-q", "--labels", self.path("m.csv"), "-o", self.path("m.wav"))
        self.assertEqual(r.returncode, 0, r.stderr)
        listing = run("midi", mma, "--list").stdout.splitlines()
        listed = sorted((int(f[0]), int(f[2])) for f in (line.split() for line in listing)
                        if len(f) >= 7 and f[0].isdigit() and f[-1] != "0")
        rows = labels(self.path("m.csv"))
        self.assertEqual(sorted((int(x["start_sample"]), int(x["key"])) for x in rows), listed)
        self.assertEqual({(x["pattern"], x["step"]) for x in rows}, {("", "")})


if __name__ == "__main__":
    KETTORIN = shlex.split(sys.argv.pop(1))
    if len(sys.argv) > 1:
        SNDFILE_READ = os.path.abspath(sys.argv.pop(1))
    unittest.main()
