"""The kettorin command end to end, read back with readers nobody here wrote.

Usage: test_command.py KETTORIN [SNDFILE_READ]
KETTORIN may be a command line ("wine64 kettorin.exe"); its program must be an absolute path.
"""
import os
import shlex
import shutil
import subprocess
import sys
import tempfile
import unittest
import wave

KETTORIN = None
SNDFILE_READ = None  # optional: a program that opens a file with libsndfile


def run(*args, cwd=None):
    return subprocess.run([*KETTORIN, *args], capture_output=True, text=True, cwd=cwd)


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

    def test_usage_errors_exit_2_before_the_library_runs(self):
        for args in (["--bogus", "C"], ["-r", "fast", "C"], ["-t", "12x", "C"], ["-t"],
                     ["-r", "99999999999", "C"], []):
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


if __name__ == "__main__":
    KETTORIN = shlex.split(sys.argv.pop(1))
    if len(sys.argv) > 1:
        SNDFILE_READ = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=1)
