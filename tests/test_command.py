"""The kettorin command end to end, read back with readers nobody here wrote.

Usage: test_command.py KETTORIN [SNDFILE_READ]
KETTORIN may be a command line ("wine64 kettorin.exe"); its program must be an absolute path.
"""
import os
import shlex
import struct
import shutil
import subprocess
import sys
import tempfile
import unittest
import wave

KETTORIN = None
SNDFILE_READ = None  # optional: a program that opens a file with libsndfile


def run(*args, cwd=None, stdin=None):
    return subprocess.run([*KETTORIN, *args], capture_output=True, text=True, cwd=cwd, input=stdin)


def floats(path):
    """The samples of a float WAV file written by the command: its data chunk, after the 58-byte
    header (a beat's markers follow it)."""
    with open(path, "rb") as f:
        data = f.read()
    data = data[58:58 + struct.unpack("<I", data[54:58])[0]]
    return struct.unpack(f"<{len(data) // 4}f", data)


GROOVE = "tempo 120\nkick x---x---\nsnare ----X--g\nkick level=0.5 --x---x-\n"


def midi(*tracks, division=96):
    """A format 1 file: each track is bytes of events, closed with an end of track."""
    chunks = [b"MThd" + struct.pack(">IHHH", 6, 1, len(tracks), division)]
    for events in tracks:
        body = events + b"\x00\xff\x2f\x00"
        chunks.append(b"MTrk" + struct.pack(">I", len(body)) + body)
    return b"".join(chunks)


# Kick and key 54 (a tambourine, no drum here) at 0, snare (key 40) a quarter later, a kick on
# channel 1; the track ends a half note in: 1 s at 120 BPM.
MIDI_GROOVE = midi(b"\x00\x99\x24\x64\x00\x36\x64\x60\x28\x7f\x00\x90\x24\x64\x60\x89\x28\x00")


class Command(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp()

    def tearDown(self):
        shutil.rmtree(self.folder)

    def path(self, name):
        return os.path.join(self.folder, name)

    def test_defaults_write_out_wav_that_python_reads(self):
        r = run("C", "D", "E2", "F#8", cwd=self.folder)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("Drum: KICK\nTempo: 120 BPM\nNotes: C D E2 F#8\n", r.stdout)
        with wave.open(self.path("out.wav")) as w:
            self.assertEqual((w.getnchannels(), w.getsampwidth(), w.getframerate()), (1, 2, 44100))
            # 0.125 + 0.125 + 0.25 + 0.0625 seconds at 44100 Hz.
            self.assertEqual(w.getnframes(), 5512 + 5512 + 11025 + 2756)

    def test_every_drum_renders_a_file_sox_and_libsndfile_accept(self):
        for drum in ["kick", "snare", "hihatc", "hihat_open", "high_tom", "mid_tom", "low_tom",
                     "cowbell", "clap", "ride", "crash"]:
            out = self.path(drum + ".wav")
            r = run("-d", drum, "-r", "22050", "-t", "140", "-o", out, "C D E F")
            self.assertEqual(r.returncode, 0, r.stderr)
            with wave.open(out) as w:
                self.assertEqual(w.getnframes(), 4 * 2362)
            if shutil.which("sox"):
                info = subprocess.run(["sox", "--i", "-s", out], capture_output=True, text=True)
                self.assertEqual(info.stdout.strip(), str(4 * 2362), info.stderr)
            if SNDFILE_READ:
                info = subprocess.run([SNDFILE_READ, out], capture_output=True, text=True)
                self.assertEqual(info.stdout, f"{4 * 2362} 22050 1 pcm16\n", info.stderr)

    def test_float_output_is_read_by_sox(self):
        if not shutil.which("sox"):
            self.skipTest("sox is not installed")
        out = self.path("float.wav")
        self.assertEqual(run("--float", "-d", "crash", "-r", "8000", "-o", out, "A1").returncode, 0)
        info = subprocess.run(["sox", "--i", out], capture_output=True, text=True).stdout
        self.assertIn("32-bit Floating Point PCM", info)
        self.assertIn("4000 samples", info)
        if SNDFILE_READ:
            info = subprocess.run([SNDFILE_READ, out], capture_output=True, text=True)
            self.assertEqual(info.stdout, "4000 8000 1 float\n", info.stderr)

    def test_24_bit_files_hold_the_float_samples_converted_as_16_bit_ones_are(self):
        text = GROOVE.replace("kick", "kick level=3", 1)  # past full scale: saturation
        for form in (["beat", "-", "--no-normalize"], ["-d", "cowbell"],
                     ["beat", "-", "--no-normalize", "--stereo"]):
            channels = 2 if "--stereo" in form else 1
            stdin = text if form[0] == "beat" else None
            notes = [] if form[0] == "beat" else ["A C2 E8"]
            wide, full = self.path("wide.wav"), self.path("full.wav")
            for extra, out in ((["--bits", "24"], wide), (["--float"], full)):
                r = run(*form, "-q", "-r", "8000", *extra, "-o", out, *notes, stdin=stdin)
                self.assertEqual(r.returncode, 0, r.stderr)
            with wave.open(wide) as w:
                self.assertEqual((w.getnchannels(), w.getsampwidth(), w.getframerate()),
                                 (channels, 3, 8000))
                data = w.readframes(w.getnframes())
            stored = [int.from_bytes(data[i:i + 3], "little", signed=True)
                      for i in range(0, len(data), 3)]
            expected = []
            for x in floats(full):
                v = struct.unpack("<f", struct.pack("<f", x * 8388607.0))[0]
                expected.append(0 if v != v else max(-8388608, min(8388607, int(v))))
            self.assertEqual(stored, expected)
            if SNDFILE_READ:
                info = subprocess.run([SNDFILE_READ, wide], capture_output=True, text=True)
                self.assertEqual(info.stdout, f"{len(expected) // channels} 8000 {channels} pcm24\n",
                                 info.stderr)

    def test_flac_files_decode_to_the_samples_of_the_wav_file(self):
        if not SNDFILE_READ:
            self.skipTest("libsndfile is not installed")
        inputs = os.path.join(tempfile.mkdtemp(), "in")
        for bits, layout in (("16", []), ("24", []), ("16", ["--stereo"]), ("24", ["--pan", "kick=1"])):
            for form, data in (("beat", GROOVE.encode()), ("midi", MIDI_GROOVE)):
                with open(inputs, "wb") as f:
                    f.write(data)
                outs = {}
                for name in ("a.wav", "a.flac"):
                    out = self.path(name)
                    r = run(form, inputs, "-q", "-r", "22050", "--bits", bits, "--stems", *layout,
                            "-o", out)
                    self.assertEqual(r.returncode, 0, r.stderr)
                    info = subprocess.run([SNDFILE_READ, out, "samples"], capture_output=True,
                                          text=True)
                    outs[name] = info.stdout
                self.assertEqual(outs["a.wav"], outs["a.flac"], (bits, form))
                self.assertIn(f" {2 if layout else 1} pcm{bits} ", outs["a.flac"])
                stems = sorted(os.listdir(self.folder))
                self.assertEqual(len([n for n in stems if n.endswith(".flac")]),
                                 len([n for n in stems if n.endswith(".wav")]))
                for name in stems:
                    os.remove(self.path(name))
        for args, message in ((["--float", "-o", "x.flac", "C"], "not --float"),
                              (["--format", "flac", "-o", "-", "C"], "not standard output")):
            r = run(*args, cwd=self.folder)
            self.assertEqual(r.returncode, 2, args)
            self.assertIn(message, r.stderr)
        # The default name follows the format.
        self.assertEqual(run("-q", "--format", "flac", "C", cwd=self.folder).returncode, 0)
        self.assertTrue(os.path.exists(self.path("out.flac")))

    def test_usage_errors_exit_2_before_the_library_runs(self):
        for args in (["--bogus", "C"], ["beat"], ["midi"], ["midi", "a.mid", "--bogus"],
                     ["beat", "a.beat", "--bogus"], ["-r", "fast", "C"], ["-t", "12x", "C"], ["-t"],
                     ["-r", "99999999999", "C"], ["--bits", "20", "C"],
                     ["--bits", "24", "--float", "C"], ["beat", "a.beat", "--stereo", "--mono"],
                     ["midi", "a.mid", "--pan", "ride=2"], ["beat", "a.beat", "--pan", "gong=0"],
                     ["--stereo", "C"], ["midi", "a.mid", "--steps", "4"],
                     ["midi", "a.mid", "--to-beat", "--list"],
                     ["midi", "a.mid", "--to-beat", "--stems"],
                     ["midi", "a.mid", "--to-beat", "-r", "8000"],
                     ["midi", "a.mid", "--to-beat", "--steps", "65"], []):
            r = run(*args, cwd=self.folder)
            self.assertEqual(r.returncode, 2, args)
            self.assertEqual(r.stdout, "")
            self.assertIn("usage: kettorin", r.stderr)
            self.assertFalse(os.path.exists(self.path("out.wav")))

    def test_a_folder_as_output_is_refused_clearly(self):
        r = run("-o", self.folder, "C")
        self.assertEqual((r.returncode, r.stdout), (2, ""))
        self.assertIn(f"kettorin: the output '{self.folder}' is a folder", r.stderr)

    def test_library_status_becomes_the_exit_code(self):
        r = run("-t", "0", "C", cwd=self.folder)
        self.assertEqual((r.returncode, r.stdout), (12, ""))
        self.assertEqual(r.stderr, "Error: BPM must be between 1 and 999. Got: 0\n")
        self.assertEqual(run("-r", "0", "C", cwd=self.folder).returncode, 11)
        self.assertEqual(run("-o", self.path("no/dir/x.wav"), "C").returncode, 14)
        # A float file's byte rate, 4 x rate, must fit its 32-bit field: refused, not wrapped.
        r = run("--float", "-r", "1073741824", "-o", self.path("f.wav"), "C")
        self.assertEqual((r.returncode, r.stdout), (11, ""))
        self.assertEqual(r.stderr, "Error: A float WAV file's sample rate must be at most "
                                   "1073741823 Hz. Got: 1073741824\n")
        self.assertFalse(os.path.exists(self.path("f.wav")))

    def test_the_note_forms_report_is_the_same_whatever_the_output(self):
        plain = run("-d", "cowbell", "-r", "8000", "-o", self.path("a.wav"), "C D#2 E8")
        self.assertEqual(plain.returncode, 0, plain.stderr)
        for extra in (["--float"], ["--float", "-q"]):
            r = run(*extra, "-d", "cowbell", "-r", "8000", "-o", self.path("a.wav"), "C D#2 E8")
            self.assertEqual(r.stdout, "" if "-q" in extra else plain.stdout)
        r = subprocess.run([*KETTORIN, "-d", "cowbell", "-r", "8000", "-o", "-", "C D#2 E8"],
                           capture_output=True)
        report = r.stderr.decode().replace("\r\n", "\n")  # Windows' text-mode stderr
        self.assertEqual(report.replace("(standard output)", self.path("a.wav")),
                         plain.stdout.replace("\r\n", "\n"))

    def test_long_option_forms_and_a_lone_dash_among_the_notes(self):
        out = self.path("long.wav")
        cases = [  # arguments, what the report shows, samples written
            (["--drum=snare", "--rate", "8000", "--tempo", "60", "--output", out, "C"],
             "Drum: SNARE\nTempo: 60 BPM\nNotes: C\n", 2000),
            (["--drum", "clap", "--rate=8000", "--tempo=30", f"--output={out}", "C"],
             "Drum: CLAP\nTempo: 30 BPM\nNotes: C\n", 4000),
            # A lone - is a note word like any other: a separator between the notes.
            (["-r", "8000", "-o", out, "C", "-", "D"], "Notes: C - D\n", 2000),
            (["--quiet", "-r", "8000", "-o", out, "C"], None, 1000),
        ]
        for args, report, samples in cases:
            r = run(*args)
            self.assertEqual(r.returncode, 0, (args, r.stderr))
            if report is None:
                self.assertEqual(r.stdout, "", args)
            else:
                self.assertIn(report, r.stdout, args)
            with wave.open(out) as w:
                self.assertEqual((w.getnframes(), w.getframerate()), (samples, 8000), args)
        for flag in ("-h", "--help"):
            r = run(flag)
            self.assertEqual(r.returncode, 0)
            self.assertIn("--tempo", r.stdout)

    def test_memory_that_is_not_there_gives_13_and_only_its_line(self):
        # 30 million samples a second for 60 s: 7.2 GB of samples under a 1 GiB address space.
        if not shutil.which("prlimit") or "wine" in KETTORIN[0]:
            self.skipTest("needs prlimit")
        limit = ["prlimit", "--as=1073741824"]
        probe = subprocess.run([*limit, *KETTORIN, "--version"], capture_output=True)
        if probe.returncode != 0:
            self.skipTest("this build cannot start under the limit (a sanitizer's reservations)")
        out = self.path("big.wav")
        r = subprocess.run([*limit, *KETTORIN, "-r", "30000000", "-t", "1", "-o", out, "C1"],
                           capture_output=True, text=True)
        self.assertEqual((r.returncode, r.stdout, r.stderr),
                         (13, "", "Error: Memory allocation failed.\n"))
        self.assertEqual(os.listdir(self.folder), [])

    def test_the_new_file_is_on_the_disk_before_it_takes_the_name(self):
        if not shutil.which("strace") or "wine" in KETTORIN[0]:
            self.skipTest("needs strace")
        trace = self.path("trace")
        # LeakSanitizer cannot run under a tracer; the trace is about the files, not the memory.
        env = dict(os.environ, ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") + ":detect_leaks=0")
        for output, synced in ((self.path("s.wav"), True), ("/dev/null", False)):
            r = subprocess.run(["strace", "-f", "-o", trace, "-e",
                                "trace=fsync,fdatasync,rename,renameat,renameat2", *KETTORIN,
                                "-q", "-r", "8000", "-o", output, "C"], capture_output=True,
                               env=env)
            self.assertEqual(r.returncode, 0, r.stderr)
            with open(trace) as f:
                calls = [line.split(None, 1)[1].split("(")[0] for line in f
                         if "(" in line and "resumed" not in line]
            calls = ["rename" if call.startswith("rename") else call for call in calls]
            # The file, the rename, then the folder's entry; a device is never synced.
            self.assertEqual(calls, ["fsync", "rename", "fsync"] if synced else [], output)

    def test_information_options(self):
        self.assertEqual(run("--version").stdout, "kettorin 1.1.0.0\n")
        drums = run("--list-drums").stdout.splitlines()
        self.assertEqual(len(drums), 11)
        self.assertTrue(drums[2].startswith("hihat_close, hihatc"))
        self.assertIn("HI-HAT CLOSED", drums[2])
        self.assertIn("--tempo", run("--help").stdout)

    def test_quiet_prints_no_report(self):
        r = run("-q", "-o", self.path("q.wav"), "C")
        self.assertEqual((r.returncode, r.stdout), (0, ""))
        self.assertTrue(os.path.exists(self.path("q.wav")))
        if not os.path.exists("/dev/stdout") or "wine" in KETTORIN[0]:
            return
        # Quiet keeps standard output for the file when that is where it goes.
        r = subprocess.run([*KETTORIN, "-q", "-r", "8000", "-o", "/dev/stdout", "C"],
                           capture_output=True)
        self.assertEqual((r.returncode, len(r.stdout), r.stdout[:4]), (0, 44 + 2 * 1000, b"RIFF"))

    def test_a_drum_name_that_matches_nothing_is_named_and_plays_the_kick(self):
        r = run("-d", "snar", "-o", self.path("k.wav"), "C")
        self.assertEqual(r.returncode, 0)
        self.assertIn("kettorin: no drum is named 'snar', so the kick plays", r.stderr)
        self.assertIn("Drum: KICK", r.stdout)
        self.assertEqual(run("-d", "Snares", "-o", self.path("s.wav"), "C").stderr, "")

    def test_wav_on_standard_output_with_the_report_on_standard_error(self):
        for args, samples in ((["-r", "8000", "-o", "-", "C", "D"], 2000),
                              (["beat", "-", "-r", "8000", "-o", "-"], 8000)):
            r = subprocess.run([*KETTORIN, *args], capture_output=True, input=GROOVE.encode())
            self.assertEqual(r.returncode, 0, r.stderr)
            self.assertEqual(r.stdout[:4], b"RIFF")
            self.assertIn(b"=== DRUM MUSIC COMPOSER ===", r.stderr)
            self.assertIn(b"\xe2\x9c\x93 Created: (standard output)", r.stderr)
            if shutil.which("sox") and "wine" not in KETTORIN[0]:
                pipe = subprocess.run(["sox", "-t", "wav", "-", "-n", "stat"], input=r.stdout,
                                      capture_output=True)
                read = [line.split()[-1] for line in pipe.stderr.splitlines()
                        if line.startswith(b"Samples read:")]
                self.assertEqual(read, [str(samples).encode()], pipe.stderr)
        # Standard output that takes nothing: the failed flush is the command's failure.
        if os.path.exists("/dev/full") and "wine" not in KETTORIN[0]:
            with open("/dev/full", "wb") as full:
                r = subprocess.run([*KETTORIN, "-r", "8000", "-o", "-", "C"], stdout=full,
                                   stderr=subprocess.PIPE, text=True)
            self.assertEqual(r.returncode, 14)
            self.assertIn("Error: Could not write file '(standard output)'.\n", r.stderr)

    def test_beat_file_renders_beside_itself_with_its_report(self):
        with open(self.path("groove.beat"), "w") as f:
            f.write(GROOVE)
        r = run("beat", self.path("groove.beat"), "-r", "8000")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("Beat: 3 drum lines, 8 steps, 4 per beat, swing 50%, repeat 1\n", r.stdout)
        self.assertIn("  KICK               2 hits  pitch C (262 Hz)   ring 0.5 s  level 1\n",
                      r.stdout)
        self.assertIn("\nDuration: 1.00 seconds\n", r.stdout)
        with wave.open(self.path("groove.wav")) as w:
            self.assertEqual((w.getnframes(), w.getframerate()), (8000, 8000))
        # Standard input: out.wav in the working folder.
        r = run("beat", "-", "-q", "--repeat", "2", cwd=self.folder, stdin=GROOVE)
        self.assertEqual((r.returncode, r.stdout), (0, ""), r.stderr)
        with wave.open(self.path("out.wav")) as w:
            self.assertEqual(w.getnframes(), 2 * 44100)

    def test_beat_errors_name_the_file_and_line_and_write_nothing(self):
        cases = [("tempo 90\nsnar3 x---\n", 15, "bad.beat:2: unknown drum 'snar3' (kick, snare, "),
                 ("kick x---\nsnare x--\n", 15,
                  "bad.beat:2: 3 steps, but line 1 (the first drum line) has 4\n"),
                 ("# empty\n", 15, "bad.beat: no drum lines"),
                 ("pattern a\nkick x\nplay a (a b)*2\npattern b\nsnare x\nplay chorus\n", 15,
                  "bad.beat:6: unknown pattern 'chorus' in play (a, b)\n"),
                 ("pattern a\nkick x\nplay (a*1000)*1000 (a*100)*485 a*77\n", 13,
                  "Error: The song plays too many patterns: more than 1048576.\n"),
                 ("kick x---\n", 12, "Error: BPM must be between 1 and 999. Got: 0\n")]
        for text, status, message in cases:
            with open(self.path("bad.beat"), "w") as f:
                f.write(text)
            r = run("beat", "bad.beat", "-t", "0" if status == 12 else "120", cwd=self.folder)
            self.assertEqual((r.returncode, r.stdout), (status, ""), text)
            self.assertTrue(r.stderr.startswith(message), r.stderr)
            self.assertFalse(os.path.exists(self.path("bad.wav")))
        for args in (["beat", "missing.beat"], ["beat", "-", "--stems", "-o", "-"],
                     ["beat", "-", "--repeat", "0"], ["beat", "-", "--gain", "nan"]):
            r = run(*args, cwd=self.folder, stdin=GROOVE)
            self.assertEqual((r.returncode, r.stdout), (2, ""), args)
            self.assertIn("usage: kettorin", r.stderr)

    def test_stems_are_named_after_the_output_and_add_up_to_the_mix(self):
        with open(self.path("groove.beat"), "w") as f:
            f.write(GROOVE.replace("snare ----X--g", "snare level=4 ----X--g"))
        r = run("beat", self.path("groove.beat"), "-r", "8000", "--float", "--stems")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("Lowered by", r.stdout)
        stems = [floats(self.path(f"groove.{name}.wav")) for name in ("kick", "snare", "kick.2")]
        for name in ("groove.wav", "groove.kick.wav", "groove.snare.wav", "groove.kick.2.wav"):
            self.assertIn(f"Created: {self.path(name)}\n", r.stdout)
        mix = floats(self.path("groove.wav"))
        self.assertEqual(len(mix), 8000)
        for i in range(0, 8000, 7):
            self.assertAlmostEqual(stems[0][i] + stems[1][i] + stems[2][i], mix[i], places=6)

    def write_midi(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data)
        return self.path(name)

    def test_midi_renders_beside_itself_lists_and_maps(self):
        song = self.write_midi("song.mid", MIDI_GROOVE)
        r = run("midi", song, "-r", "8000")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("MIDI: format 1, 1 track, 96 ticks per quarter note, channel 10\n"
                      "Tempo: 120 BPM at the start, 0 changes\n\n"
                      "  KICK               1 hit   pitch C (262 Hz)   ring 0.5 s\n"
                      "  SNARE              1 hit   pitch -            ring 0.5 s\n"
                      "Skipped keys (notes): 54 (1)\nNotes on other channels: 1\n", r.stdout)
        self.assertIn("\nDuration: 1.00 seconds\n", r.stdout)
        with wave.open(self.path("song.wav")) as w:
            self.assertEqual((w.getnframes(), w.getframerate()), (8000, 8000))
        os.remove(self.path("song.wav"))
        r = run("midi", song, "--list", "-r", "8000", "--map", "54=cowbell", "--map", "40=clap")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("  COWBELL            1 hit ", r.stdout)
        self.assertIn("  CLAP               1 hit ", r.stdout)
        self.assertNotIn("Skipped", r.stdout)
        self.assertIn("        4000     0.5000   40      127     1  CLAP           4000\n", r.stdout)
        self.assertIn("\n3 hits, 8000 samples (1.00 seconds)\n", r.stdout)
        self.assertFalse(os.path.exists(self.path("song.wav")))
        # Channel 1 from standard input, to standard output.
        r = subprocess.run([*KETTORIN, "midi", "-", "--channel", "1", "-r", "8000", "-o", "-"],
                           capture_output=True, input=MIDI_GROOVE)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual((r.stdout[:4], len(r.stdout)), (b"RIFF", 44 + 2 * 8000))
        self.assertIn(b"Notes on other channels: 3\n", r.stderr.replace(b"\r\n", b"\n"))

    def test_midi_errors_name_the_file_and_byte_and_write_nothing(self):
        damaged = MIDI_GROOVE[:27] + b"\xf4" + MIDI_GROOVE[28:]
        cut = MIDI_GROOVE[:30]
        for data, status, err in (
                (damaged, 15, "bad.mid: byte 27: status byte 0xF4 cannot appear in a file\n"),
                (b"RIFF....WAVE", 15,
                 "bad.mid: byte 0: not a Standard MIDI File: it does not begin with MThd\n")):
            self.write_midi("bad.mid", data)
            r = run("midi", "bad.mid", cwd=self.folder)
            self.assertEqual((r.returncode, r.stdout, r.stderr), (status, "", err))
            self.assertFalse(os.path.exists(self.path("bad.wav")))
        # Cut off inside the track: the hits before the cut play, and the report says so.
        self.write_midi("cut.mid", cut)
        r = run("midi", "cut.mid", "-q", "--list", cwd=self.folder)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("Warning: the file ends inside track 1 (byte 30): the hits before the cut "
                      "are kept\n", r.stdout)
        self.assertIn("\n1 hit, 22050 samples", r.stdout)
        for args in (["midi", "missing.mid"], ["midi", "-", "--stems", "-o", "-"],
                     ["midi", "-", "--map", "54=tambourine"], ["midi", "-", "--map", "128=kick"],
                     ["midi", "-", "--channel", "0"], ["midi", "-", "--channel", "17"]):
            r = subprocess.run([*KETTORIN, *args], capture_output=True, input=MIDI_GROOVE,
                               cwd=self.folder)
            self.assertEqual((r.returncode, r.stdout), (2, b""), args)
            self.assertIn(b"usage: kettorin", r.stderr)

    def test_midi_to_beat_writes_a_song_beside_the_file_that_the_beat_command_plays(self):
        song = self.write_midi("song.mid", MIDI_GROOVE)
        text = "tempo 120\nsteps 2\n\npattern a\nkick   7-------\nsnare  --X-----\n\nplay a\n"
        report = ("Bars: 1 in 1 pattern\nSteps: 2 per beat, every hit on its step\n"
                  "Hits: 2 placed, 0 merged\nSkipped keys (notes): 54 (1)\n"
                  "Notes on other channels: 1\n")
        r = run("midi", song, "--to-beat")
        created = f"✓ Created: {self.path('song.beat')}\n"
        self.assertEqual((r.returncode, r.stdout), (0, report + created))
        with open(self.path("song.beat")) as f:
            self.assertEqual(f.read(), text)
        self.assertEqual(run("beat", self.path("song.beat"), "-q").returncode, 0)
        r = subprocess.run([*KETTORIN, "midi", "-", "--to-beat", "-o", "-"], capture_output=True,
                           input=MIDI_GROOVE)
        self.assertEqual((r.returncode, r.stdout), (0, text.encode()))
        self.assertTrue(r.stderr.replace(b"\r\n", b"\n").startswith(report.encode()))
        smpte = MIDI_GROOVE[:12] + b"\xe7\x28" + MIDI_GROOVE[14:]
        r = subprocess.run([*KETTORIN, "midi", "-", "--to-beat"], capture_output=True, input=smpte,
                           cwd=self.folder)
        self.assertEqual((r.returncode, r.stdout), (15, b""))
        self.assertIn(b"(standard input): The MIDI file counts time in SMPTE frames", r.stderr)
        self.assertFalse(os.path.exists(self.path("out.beat")))

    def test_midi_stems_one_per_kind_add_up_to_the_mix(self):
        song = self.write_midi("song.mid", MIDI_GROOVE)
        r = run("midi", song, "-r", "8000", "--float", "--stems", "--gain", "6")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("Gain: +6.0 dB\n", r.stdout)
        for name in ("song.wav", "song.kick.wav", "song.snare.wav"):
            self.assertIn(f"Created: {self.path(name)}\n", r.stdout)
        self.assertFalse(os.path.exists(self.path("song.kick.2.wav")))
        mix, kick, snare = (floats(self.path(n)) for n in ("song.wav", "song.kick.wav",
                                                            "song.snare.wav"))
        self.assertEqual(len(mix), 8000)
        self.assertTrue(any(abs(x) > 0 for x in snare[4000:]))
        self.assertTrue(all(x == 0 for x in snare[:4000]))
        for i in range(0, 8000, 7):
            self.assertAlmostEqual(kick[i] + snare[i], mix[i], places=6)


if __name__ == "__main__":
    KETTORIN = shlex.split(sys.argv.pop(1))
    if len(sys.argv) > 1:
        SNDFILE_READ = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=1)
