"""Every option through every door that has it: the command, the C calls, the Python package and
the page render the same samples, bit for bit, mix and stems, and give the same labels and MIDI
files.

Run with Debian's Python (NumPy): KETTORIN_COMMAND, KETTORIN_LIBRARY and, for the page's column,
KETTORIN_WEB_PAGE (the built page's folder) name what is compared. A door that is missing is
reported as skipped, never as passed.
"""
from __future__ import annotations

import csv
import ctypes
import io
import json
import os
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

import numpy as np

SOURCE = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(SOURCE / "python"))
import kettorin  # noqa: E402  (the package of this source tree)

COMMAND = os.environ.get("KETTORIN_COMMAND", str(SOURCE / "build" / "kettorin"))
PAGE = os.environ.get("KETTORIN_WEB_PAGE", "")
PAGE = PAGE if PAGE and (Path(PAGE) / "kettorin.js").exists() else ""
GROOVE = (SOURCE / "examples" / "groove.beat").read_text()
SONG = (SOURCE / "examples" / "song.beat").read_text()
LOUD = GROOVE + "mid_tom level=3 " + "-" * 28 + "xx--\n"  # past full scale
# A drum tab: two hihat lines, an accent line, flams, drags, a bracket, a ? cell and a key that
# only a mapping plays.
TAB = """tempo 96
steps 4
seed 3
    1 e + a 2 e + a 3 e + a 4 e + a
HH |x-x-o-x-[xxx]-O-?-x-|
SD |----O--g-f--O-d-|
BD |o-----o---o--o--|
54 |--x---x---x---x-|
hihat ring=0.3 |--x---o---x-o--o|
AC |x-------x-------|
"""
# Stereo from the text alone: lines placed by pan= beside lines at their drum's own place.
PANNED = "tempo 110\nkick pan=-0.4 x---x-x-\nsnare ----X--g\nhihatc x-x-x-x-\nride pan=1 --x---x-\n"


def midi_file() -> bytes:
    """Kick, snare and key 54 on channel 10, a snare on channel 1, at 96 ticks a quarter."""
    events = bytes([0x00, 0x99, 36, 100, 0x00, 0x99, 54, 80, 0x30, 0x99, 38, 127, 0x00, 0x90, 38,
                    64, 0x30, 0x99, 36, 60, 0x18, 0x99, 42, 90, 0x30, 0xFF, 0x2F, 0x00])
    return (b"MThd\0\0\0\x06\0\0\0\x01\0\x60MTrk" + len(events).to_bytes(4, "big") + events)


MIDI = midi_file()

# (name, source, input, options in the road's names). Stems are compared for every beat and MIDI
# row.
ROWS = [
    ("notes", "notes", "C D E2 F#8 G1", {"drum": "snare", "rate": 22050, "tempo": 97}),
    ("notes drum", "notes", "A C2", {"drum": "cowbell", "rate": 8000}),
    ("beat", "beat", GROOVE, {}),
    ("beat rate tempo repeat", "beat", GROOVE, {"rate": 22050, "tempo": 90, "repeat": 3}),
    ("beat loop", "beat", GROOVE, {"rate": 16000, "loop": True}),
    ("beat gain", "beat", LOUD, {"rate": 16000, "gain": -6.0}),
    ("song tempo repeat loop", "beat", SONG, {"rate": 8000, "tempo": 100, "repeat": 2, "loop": True}),
    ("beat no normalize", "beat", LOUD, {"rate": 16000, "normalize": False, "gain": 2.5}),
    ("tab seed humanize choke map", "beat", TAB,
     {"rate": 11025, "seed": 9, "humanize": "6,8", "choke": False, "map": ["54=cowbell"],
      "loop": True}),
    ("midi", "midi", MIDI, {"rate": 22050}),
    ("midi channel", "midi", MIDI, {"rate": 8000, "channel": 1}),
    ("midi map", "midi", MIDI, {"rate": 8000, "map": ["54=cowbell", "42=ride"]}),
    ("midi gain", "midi", MIDI, {"rate": 8000, "gain": 9.0, "normalize": False}),
    ("midi no choke", "midi", MIDI, {"rate": 8000, "map": ["54=hihato"], "choke": False}),
    ("beat stereo pan", "beat", PANNED, {"rate": 16000, "pan": ["hihatc=-0.5"]}),
    ("beat stereo option", "beat", GROOVE, {"rate": 8000, "channels": 2, "loop": True}),
    ("beat mono over pan=", "beat", PANNED, {"rate": 8000, "channels": 1}),
    ("midi stereo pan", "midi", MIDI,
     {"rate": 8000, "channels": 2, "pan": ["kick=-0.25", "cowbell=1"], "map": ["54=cowbell"]}),
]


def bits(samples) -> bytes:
    return np.ascontiguousarray(samples, dtype=np.float32).tobytes()


def without_markers(wav: bytes) -> bytes:
    """A file cut after its data chunk, its RIFF size saying so: the chunks a beat's markers and
    loop add, taken away."""
    at = 12
    while wav[at:at + 4] != b"data":
        at += 8 + int.from_bytes(wav[at + 4:at + 8], "little")
    size = int.from_bytes(wav[at + 4:at + 8], "little")
    end = at + 8 + size + size % 2  # with the pad byte after odd data
    return wav[:4] + (end - 8).to_bytes(4, "little") + wav[8:end]


def float_file(path: Path) -> bytes:
    data = path.read_bytes()
    # The data chunk, after the float file's 58-byte header; a beat's markers follow it.
    return data[58:58 + int.from_bytes(data[54:58], "little")]


def typed_labels(text: str) -> list[tuple]:
    """CSV labels, a tuple a row, each value of its field's type in the labels Python gives."""
    return [(int(row["start_sample"]), float(row["start_seconds"]), row["lane"], row["kind"],
             int(row["key"]), np.float32(row["level"]).item(), int(row["length"]),
             row["pattern"], int(row["step"] or -1)) for row in csv.DictReader(io.StringIO(text))]


class Doors:
    """Renders a row through each door: its mix, and its stems in stem order; and (side) its
    labels, typed, and a beat's MIDI file."""

    def __init__(self, folder: Path):
        self.folder = folder

    def command(self, source, text, options):
        input_path = self.folder / ("in.mid" if source == "midi" else "in.txt")
        input_path.write_bytes(text if isinstance(text, bytes) else text.encode())
        out = self.folder / "command.wav"
        args = ["-q", "--float", "-o", str(out), *self.command_args(options)]
        if source == "notes":
            command = [COMMAND, *args, text]
        else:
            command = [COMMAND, source, str(input_path), *args, "--stems"]
        subprocess.run(command, check=True, capture_output=True)
        stems = [self.folder / f"command.{infix}.wav" for infix in self.stem_infixes(source, text,
                                                                                   options)]
        mix = float_file(out)
        result = [mix, [float_file(p) for p in stems]]
        for p in [out, *stems]:
            p.unlink()
        return result

    def command_side(self, source, text, options):
        input_path = self.folder / ("in.mid" if source == "midi" else "in.txt")
        input_path.write_bytes(text if isinstance(text, bytes) else text.encode())
        labels, midi = self.folder / "command.csv", self.folder / "command.mid"
        side = ["--labels", str(labels), *(["--midi", str(midi)] if source == "beat" else [])]
        subprocess.run([COMMAND, source, str(input_path), "-q", "-o", str(self.folder / "side.wav"),
                        *side, *self.command_args(options)], check=True, capture_output=True)
        return [typed_labels(labels.read_text()), midi.read_bytes() if source == "beat" else None]

    @staticmethod
    def command_args(options):
        args = []
        flags = {"rate": "-r", "tempo": "-t", "repeat": "--repeat", "gain": "--gain",
                 "channel": "--channel", "drum": "-d", "seed": "--seed", "humanize": "--humanize"}
        for name, value in options.items():
            if name in flags:
                args += [flags[name], str(value)]
            elif name in ("map", "pan"):
                for mapping in value:
                    args += [f"--{name}", mapping]
            elif name == "channels":
                args.append("--stereo" if value == 2 else "--mono")
            elif name == "loop" and value:
                args.append("--loop")
            elif name == "normalize" and not value:
                args.append("--no-normalize")
            elif name == "choke" and not value:
                args.append("--no-choke")
        return args

    def stem_infixes(self, source, text, options):
        """The stems' file-name infixes in stem order ("kick", "kick.2", ...), from the C call."""
        if source == "notes":
            return []
        keys = [drum.key for drum in kettorin.drums()]
        seen: dict[str, int] = {}
        infixes = []
        for kind in self.c(source, text, options, kinds_only=True):
            key = "hihat" if kind == 11 else keys[kind]  # a hihat line's lane
            seen[key] = seen.get(key, 0) + 1
            infixes.append(key if seen[key] == 1 else f"{key}.{seen[key]}")
        return infixes

    def c(self, source, text, options, kinds_only=False):
        lib = ctypes.CDLL(os.environ.get("KETTORIN_LIBRARY") or kettorin._library.library()._name)
        lib.KettorinOptionsCreate.restype = ctypes.c_void_p
        lib.KettorinOptionsDestroy.argtypes = [ctypes.c_void_p]
        lib.KettorinOptionsSet.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_char_p,
                                           ctypes.c_char_p, ctypes.c_int32]
        lib.KettorinRenderWith.argtypes = [
            ctypes.c_int32, ctypes.c_char_p, ctypes.c_int64, ctypes.c_void_p, ctypes.c_int32,
            ctypes.c_void_p, ctypes.POINTER(ctypes.c_float), ctypes.c_int64,
            ctypes.POINTER(ctypes.c_int64), ctypes.c_char_p, ctypes.c_int32]
        lib.KettorinStemsWith.argtypes = [
            ctypes.c_int32, ctypes.c_char_p, ctypes.c_int64, ctypes.c_void_p,
            ctypes.POINTER(ctypes.c_int32), ctypes.c_int32, ctypes.POINTER(ctypes.c_int32),
            ctypes.c_char_p, ctypes.c_int32]
        message = ctypes.create_string_buffer(512)
        handle = lib.KettorinOptionsCreate()
        try:
            for name, value in options.items():
                for one in value if isinstance(value, list) else [value]:
                    text_value = ("1" if one else "0") if isinstance(one, bool) else str(one)
                    status = lib.KettorinOptionsSet(handle, name.encode(), text_value.encode(),
                                                    message, 512)
                    assert status == 999, message.value
            code = {"notes": 1, "beat": 2, "midi": 3}[source]
            data = text if isinstance(text, bytes) else text.encode("utf-16-le") + b"\0\0"
            size = len(text) if isinstance(text, bytes) else -1

            def render(stem, levels):
                count = ctypes.c_int64()
                status = lib.KettorinRenderWith(code, data, size, handle, stem, levels, None, 0,
                                                ctypes.byref(count), message, 512)
                assert status == 999, message.value
                out = np.empty(count.value, dtype=np.float32)
                pointer = out.ctypes.data_as(ctypes.POINTER(ctypes.c_float))
                status = lib.KettorinRenderWith(code, data, size, handle, stem, levels, pointer,
                                                count.value, ctypes.byref(count), message, 512)
                assert status == 999, message.value
                return bits(out)

            levels = (ctypes.c_float * 3)()
            mix = b"" if kinds_only else render(-1, ctypes.cast(levels, ctypes.c_void_p))
            kinds = (ctypes.c_int32 * 16)()
            count = ctypes.c_int32()
            assert lib.KettorinStemsWith(code, data, size, handle, kinds, 16, ctypes.byref(count),
                                         message, 512) == 999, message.value
            if kinds_only:
                return list(kinds[:count.value])
            stems = [render(s, ctypes.cast(levels, ctypes.c_void_p)) for s in range(count.value)]
            return [mix, stems]
        finally:
            lib.KettorinOptionsDestroy(handle)

    @staticmethod
    def keywords(options):
        words = {"gain": "gain_db"}
        keywords = {words.get(k, k): v for k, v in options.items() if k != "drum"}
        if "humanize" in keywords:
            keywords["humanize"] = tuple(int(n) for n in keywords["humanize"].split(","))
        if "pan" in keywords:
            keywords["pan"] = dict((drum, float(at)) for drum, at in
                                   (pan.split("=") for pan in keywords["pan"]))
        return keywords

    def python(self, source, text, options):
        keywords = self.keywords(options)
        if source == "notes":
            return [bits(kettorin.render(options["drum"], text, **keywords)), []]
        call = kettorin.render_beat if source == "beat" else kettorin.render_midi
        rendering = call(text, stems=True, **keywords)
        return [bits(rendering.mix), [bits(s) for s in rendering.stems.values()]]

    def python_side(self, source, text, options):
        keywords = self.keywords(options)
        call = kettorin.render_beat if source == "beat" else kettorin.render_midi
        _, labels = call(text, with_labels=True, **keywords)
        midi = kettorin.beat_to_midi(text, **keywords) if source == "beat" else None
        return [labels.tolist(), midi]

    def page(self, source, text, options):
        input_path = self.folder / "page.in"
        input_path.write_bytes(text if isinstance(text, bytes) else text.encode())
        out = self.folder / "page.raw"
        asked = dict(options, stems=source != "notes")
        done = subprocess.run(["node", str(SOURCE / "tests" / "web" / "render_request.cjs"), PAGE,
                               source, str(input_path), json.dumps(asked), str(out)],
                              capture_output=True, text=True)
        assert done.returncode == 0, done.stderr
        stems = []
        while (stem := out.parent / f"{out.name}.{len(stems)}").exists():
            stems.append(stem.read_bytes())
            stem.unlink()
        return [out.read_bytes(), stems]

    def page_side(self, source, text, options):
        self.page(source, text, options)
        out = self.folder / "page.raw"
        midi = out.parent / f"{out.name}.mid"
        return [typed_labels(out.parent.joinpath(f"{out.name}.csv").read_text()),
                midi.read_bytes() if source == "beat" else None]


class Parity(unittest.TestCase):
    def test_every_option_through_every_door(self):
        with tempfile.TemporaryDirectory() as folder:
            doors = Doors(Path(folder))
            names = ["command", "c", "python"] + (["page"] if PAGE else [])
            if not PAGE:
                print("page column skipped: KETTORIN_WEB_PAGE names no built page",
                      file=sys.stderr)
            for name, source, text, options in ROWS:
                with self.subTest(row=name):
                    results = {door: getattr(doors, door)(source, text, options) for door in names}
                    mix, stems = results["command"]
                    if source != "notes":
                        self.assertGreater(len(stems), 0)
                    for door in names[1:]:
                        self.assertEqual(results[door][0], mix, f"{door}: the mix differs")
                        self.assertEqual(len(results[door][1]), len(stems), f"{door}: stems")
                        for s, (theirs, ours) in enumerate(zip(results[door][1], stems)):
                            self.assertEqual(theirs, ours, f"{door}: stem {s} differs")

    def test_labels_and_midi_files_through_every_door_that_makes_them(self):
        """The command's --labels and (for a beat) --midi files: Python's labels and MIDI bytes,
        and the page's."""
        with tempfile.TemporaryDirectory() as folder:
            doors = Doors(Path(folder))
            names = ["python"] + (["page"] if PAGE else [])
            for name, source, text, options in ROWS:
                if source == "notes":
                    continue
                with self.subTest(row=name):
                    labels, midi = doors.command_side(source, text, options)
                    self.assertGreater(len(labels), 0)
                    for door in names:
                        theirs = getattr(doors, f"{door}_side")(source, text, options)
                        self.assertEqual(theirs[0], labels, f"{door}: the labels differ")
                        self.assertEqual(theirs[1], midi, f"{door}: the MIDI file differs")

    def test_float_files_through_every_door_that_writes_them(self):
        with tempfile.TemporaryDirectory() as folder:
            folder = Path(folder)
            (folder / "g.beat").write_text(GROOVE)
            subprocess.run([COMMAND, "beat", str(folder / "g.beat"), "-q", "--float", "-r",
                            "16000", "--loop", "-o", str(folder / "command.wav")], check=True)
            kettorin.compose_beat(GROOVE, folder / "python.wav", rate=16000, loop=True,
                                  float=True)
            samples = kettorin.render_beat(GROOVE, rate=16000, loop=True)
            kettorin.write(folder / "written.wav", samples, rate=16000, float=True)
            expected = (folder / "command.wav").read_bytes()
            self.assertEqual((folder / "python.wav").read_bytes(), expected)
            # Samples written from an array carry no markers or loop: the beat's file without them.
            self.assertEqual((folder / "written.wav").read_bytes(), without_markers(expected))


if __name__ == "__main__":
    unittest.main()
