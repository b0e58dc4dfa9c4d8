"""The Python package against the kettorin command: the same samples, the same files, every
refusal with its status and message, and threads that do not disturb each other.

Run by CTest with KETTORIN_COMMAND (the command) and KETTORIN_LIBRARY (the library) set.
"""
import concurrent.futures
import csv
import io
import os
import re
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest

SOURCE = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(SOURCE / "python"))
import kettorin  # noqa: E402

COMMAND = os.environ.get("KETTORIN_COMMAND", str(SOURCE / "build" / "kettorin"))
GROOVE = (SOURCE / "examples" / "groove.beat").read_text()


def command(*args, cwd, check=True):
    result = subprocess.run([COMMAND, "-q", *args], capture_output=True, text=True, cwd=cwd)
    assert result.returncode == 0 or not check, result.stderr
    return result


def float_file(path):
    """The samples of the command's --float file: its data chunk, behind the 58-byte header (a
    beat's markers follow it)."""
    data = Path(path).read_bytes()
    return np.frombuffer(data[58:58 + int.from_bytes(data[54:58], "little")], dtype="<f4")


def without_markers(wav):
    """A file cut after its data chunk, its RIFF size saying so."""
    at = 12
    while wav[at:at + 4] != b"data":
        at += 8 + int.from_bytes(wav[at + 4:at + 8], "little")
    size = int.from_bytes(wav[at + 4:at + 8], "little")
    end = at + 8 + size + size % 2  # with the pad byte after odd data
    return wav[:4] + (end - 8).to_bytes(4, "little") + wav[8:end]


def csv_labels(path):
    """The command's --labels file, a tuple a row, each value of its field's type in the labels
    Python gives (level a float32, a missing step -1)."""
    with open(path, newline="") as file:
        return [(int(row["start_sample"]), float(row["start_seconds"]), row["lane"], row["kind"],
                 int(row["key"]), np.float32(row["level"]).item(), int(row["length"]),
                 row["pattern"], int(row["step"] or -1)) for row in csv.DictReader(file)]


LABEL_FIELDS = ("start_sample", "start_seconds", "lane", "kind", "key", "level", "length",
                "pattern", "step")


def shape_of(path):
    """The shape a rendering of the command's --float file has: (frames,), or (frames, 2)."""
    channels = int.from_bytes(Path(path).read_bytes()[22:24], "little")
    samples = float_file(path).size
    return (samples,) if channels == 1 else (samples // channels, channels)


def midi_file(*events):
    """A format-0 MIDI file (96 ticks a quarter) of (delta ticks, status, key, velocity)."""
    track = b"".join(bytes(event) for event in events) + b"\0\xff\x2f\0"
    return (b"MThd\0\0\0\x06\0\0\0\x01\0\x60MTrk" + len(track).to_bytes(4, "big")
            + track)


# Drums on channel 3 (keys 36, 38 and 54, which General MIDI leaves unplayed) and on 10.
CHANNEL_3 = midi_file((0, 0x92, 36, 100), (0, 0x99, 38, 90), (48, 0x92, 54, 80),
                      (48, 0x92, 36, 70), (0, 0x99, 54, 127), (96, 0x92, 38, 60))
TWO_KICKS = "tempo 100\nkick x---x---\nsnare ----X---\nkick pitch=G --x---x-\n"
# Two hihat lines (stems 'hihat' and 'hihat.2'), a ? cell and a key only a mapping plays.
HATS = "tempo 100\nHH |x-o-[xx]-O-?-o-x-x-|\nhihat --o---o---x-o---\n54 x---x---x---x---\n"
# Lines placed by pan= (the text alone makes it stereo) beside lines at their drum's own place.
PANNED = ("tempo 100\nkick pan=-0.5 x---x---\nsnare ----X---\nride pan=0.75 x-x-x-x-\n"
          "hihatc --x---x-\n")
OPEN_AND_CLOSED = midi_file((0, 0x99, 46, 100), (24, 0x99, 42, 90), (24, 0x99, 46, 80),
                            (48, 0x99, 44, 70))


@pytest.mark.parametrize("drum, notes, rate, tempo", [
    ("snare", "C D E2 F#8 G1", 44100, 120),
    ("cowbell", "A C2 E8 E8 G1", 22050, 128),
    ("hihato", "C1", 48000, 60),
    ("LOW_TOM", "F# Gb2", 8000, 999),
    ("no such drum", "C0 C", 11025, 1),
])
def test_render_gives_the_commands_float_samples_bit_for_bit(tmp_path, drum, notes, rate, tempo):
    command("-d", drum, "-r", str(rate), "-t", str(tempo), "--float", "-o", "f.wav", notes,
            cwd=tmp_path)
    samples = kettorin.render(drum, notes, rate=rate, tempo=tempo)
    assert samples.dtype == np.float32
    assert samples.tobytes() == float_file(tmp_path / "f.wav").tobytes()


@pytest.mark.parametrize("options, keywords", [
    ([], {}),
    (["-t", "90", "--repeat", "2", "--loop"], {"tempo": 90, "repeat": 2, "loop": True}),
    (["--gain", "9", "--no-normalize"], {"gain_db": 9.0, "normalize": False}),
    (["--gain", "-12.5"], {"gain_db": -12.5}),
    (["--seed", "5", "--humanize", "4,10"], {"seed": 5, "humanize": (4, 10)}),
    (["--stereo", "--pan", "ride=0.5", "--pan", "kick=-1"],
     {"channels": 2, "pan": {"ride": 0.5, "kick": -1}}),
])
def test_render_beat_gives_the_commands_float_samples_bit_for_bit(tmp_path, options, keywords):
    (tmp_path / "groove.beat").write_text(GROOVE)
    command("beat", "groove.beat", "-r", "22050", "--float", "-o", "f.wav", *options,
            cwd=tmp_path)
    samples = kettorin.render_beat(GROOVE, rate=22050, **keywords)
    assert samples.shape == shape_of(tmp_path / "f.wav")
    assert samples.tobytes() == float_file(tmp_path / "f.wav").tobytes()


@pytest.mark.parametrize("name, rate, options, keywords", [
    ("bench/three_minutes.mid", 44100, [], {}),
    ("tests/fuzz/corpus/midi/format1_tempo_map.mid", 22050, ["--gain", "6", "--no-normalize"],
     {"gain_db": 6.0, "normalize": False}),
    ("tests/fuzz/corpus/midi/smpte.mid", 48000, [], {}),
    (CHANNEL_3, 22050, ["--channel", "3"], {"channel": 3}),
    (CHANNEL_3, 22050, ["--channel", "3", "--map", "54=cowbell", "--map", "38=clap"],
     {"channel": 3, "map": {54: "cowbell", 38: "clap"}}),
    (CHANNEL_3, 8000, ["--map", "54=ride", "--gain", "-3"], {"map": ["54=ride"], "gain_db": -3}),
    ("bench/three_minutes.mid", 8000, ["--no-choke"], {"choke": False}),
])
def test_render_midi_gives_the_commands_float_samples_bit_for_bit(tmp_path, name, rate, options,
                                                                   keywords):
    data = name if isinstance(name, bytes) else (SOURCE / name).read_bytes()
    (tmp_path / "in.mid").write_bytes(data)
    command("midi", "in.mid", "-r", str(rate), "--float", "-o", "f.wav", *options, cwd=tmp_path)
    samples = kettorin.render_midi(data, rate=rate, **keywords)
    assert samples.tobytes() == float_file(tmp_path / "f.wav").tobytes()


@pytest.mark.parametrize("form, source, options, keywords", [
    ("beat", GROOVE, ["-r", "22050"], {"rate": 22050}),
    ("beat", TWO_KICKS, ["--gain", "6", "--no-normalize", "--loop"],
     {"gain_db": 6, "normalize": False, "loop": True}),
    ("midi", CHANNEL_3, ["--channel", "3", "--map", "54=cowbell"],
     {"channel": 3, "map": {54: "cowbell"}}),
    ("midi", (SOURCE / "tests/fuzz/corpus/midi/format1_tempo_map.mid").read_bytes(), [], {}),
    ("beat", HATS, ["--seed", "4", "--humanize", "3,5", "--no-choke", "--map", "54=cowbell"],
     {"seed": 4, "humanize": (3, 5), "choke": False, "map": {54: "cowbell"}}),
    ("midi", OPEN_AND_CLOSED, ["--no-choke"], {"choke": False}),
    ("beat", PANNED, [], {}),
    ("beat", PANNED, ["--pan", "hihatc=0.25", "--mono"], {"pan": {"hihatc": 0.25}, "channels": 1}),
    ("midi", CHANNEL_3, ["--channel", "3", "--stereo", "--pan", "kick=-0.25"],
     {"channel": 3, "channels": 2, "pan": {"kick": -0.25}}),
])
def test_stems_and_compose_give_the_commands_files(tmp_path, form, source, options, keywords):
    """Rendered stems are the command's --stems --float files; compose writes the same files; the
    labels are the command's --labels file, and a beat's MIDI bytes its --midi file."""
    (tmp_path / "in").write_bytes(source.encode() if form == "beat" else source)
    midi = ["--midi", "c.mid"] if form == "beat" else []
    command(form, "in", "--float", "--stems", "-o", "c.wav", "--labels", "c.csv", *midi, *options,
            cwd=tmp_path)
    render, compose = ((kettorin.render_beat, kettorin.compose_beat) if form == "beat" else
                       (kettorin.render_midi, kettorin.compose_midi))
    (mix, stems, _), labels = render(source, stems=True, with_labels=True, **keywords)
    compose(source, tmp_path / "p.wav", float=True, stems=True, labels=tmp_path / "p.csv",
            **keywords)
    assert sorted(stems) == sorted(path.name[2:-4] for path in tmp_path.glob("c.*.wav"))
    assert mix.shape == shape_of(tmp_path / "c.wav")
    assert mix.tobytes() == float_file(tmp_path / "c.wav").tobytes()
    for name, samples in stems.items():
        assert samples.shape == mix.shape, name
        assert samples.tobytes() == float_file(tmp_path / f"c.{name}.wav").tobytes(), name
    for infix in ["", *(f".{name}" for name in stems)]:
        assert ((tmp_path / f"p{infix}.wav").read_bytes()
                == (tmp_path / f"c{infix}.wav").read_bytes()), infix
    assert labels.dtype.names == LABEL_FIELDS
    assert labels.tolist() == csv_labels(tmp_path / "c.csv")
    assert (tmp_path / "p.csv").read_bytes() == (tmp_path / "c.csv").read_bytes()
    if form == "beat":
        assert kettorin.beat_to_midi(source, **keywords) == (tmp_path / "c.mid").read_bytes()
    # And a 24-bit file, as --bits 24 writes it.
    command(form, "in", "--bits", "24", "-o", "c24.wav", *options, cwd=tmp_path)
    compose(source, tmp_path / "p24.wav", bits=24, **keywords)
    assert (tmp_path / "p24.wav").read_bytes() == (tmp_path / "c24.wav").read_bytes()
    # And a FLAC file, as --format flac writes it, where the library has libsndfile.
    if command(form, "in", "--format", "flac", "-o", "c.flac", *options, cwd=tmp_path,
               check=False).returncode == 0:
        compose(source, tmp_path / "p.flac", format="flac", **keywords)
        assert (tmp_path / "p.flac").read_bytes() == (tmp_path / "c.flac").read_bytes()


@pytest.mark.parametrize("options, channels, keywords", [
    ([], None, {}), (["--float"], None, {"float": True}), (["--bits", "24"], None, {"bits": 24}),
    (["--stereo"], 2, {}), (["--stereo", "--float"], 2, {"float": True}),
    (["--stereo", "--bits", "24"], 2, {"bits": 24}),
])
def test_write_gives_the_commands_file_byte_for_byte(tmp_path, options, channels, keywords):
    """A (frames, 2) array is written as the stereo file the command writes, and reads back (the
    command's beat file also marks its plays: an array carries no markers)."""
    (tmp_path / "groove.beat").write_text(GROOVE)
    command("beat", "groove.beat", "-r", "48000", "-o", "command.wav", *options, cwd=tmp_path)
    samples = kettorin.render_beat(GROOVE, rate=48000, channels=channels)
    kettorin.write(tmp_path / "python.wav", samples, rate=48000, **keywords)
    assert (tmp_path / "python.wav").read_bytes() == without_markers(
        (tmp_path / "command.wav").read_bytes())
    if keywords.get("float"):
        assert shape_of(tmp_path / "python.wav") == samples.shape
        assert float_file(tmp_path / "python.wav").tobytes() == samples.tobytes()


SONG = (SOURCE / "examples" / "song.beat").read_text()


@pytest.mark.parametrize("text, keywords, markers, tempos, meters", [
    # The waltz's steps of 2 start a segment at the same tempo, and a bar of 3/4; the outro's 8
    # steps at 4 a beat are 2/4.
    (SONG, {}, ["intro", "verse", "verse", "verse", "fill", "verse", "verse", "verse", "fill",
                "waltz", "outro"], [112, 112, 90], [(4, 4), (3, 4), (2, 4)]),
    (TWO_KICKS, {"tempo": 90, "repeat": 3, "rate": 22050}, ["pass 1", "pass 2", "pass 3"], [90],
     [(2, 4)]),
    ("tempo 70\nrepeat 2\nsteps 3\nkick x-x-x-\nsnare -X-f-[xx]\n",
     {"humanize": (5, 20), "seed": 3}, ["pass 1", "pass 2"], [70], [(2, 4)]),
    (HATS, {"map": {54: "cowbell"}}, ["pass 1"], [100], [(4, 4)]),
])
def test_beat_to_midi_reads_in_mido_as_the_labels_say(text, keywords, markers, tempos, meters):
    """mido finds a marker at each play, the tempos and meters, and a note for each label: its
    key, its velocity from its level, and its time within half a tick of its start."""
    mido = pytest.importorskip("mido")
    song = mido.MidiFile(file=io.BytesIO(kettorin.beat_to_midi(text, **keywords)))
    assert (song.type, len(song.tracks), song.ticks_per_beat) == (0, 1, 960)
    events = song.tracks[0]
    assert [m.text for m in events if m.type == "marker"] == markers
    assert [round(mido.tempo2bpm(m.tempo)) for m in events if m.type == "set_tempo"] == tempos
    assert [(m.numerator, m.denominator) for m in events if m.type == "time_signature"] == meters
    _, labels = kettorin.render_beat(text, with_labels=True, **keywords)
    seconds, notes = 0.0, []
    for message in song:  # times in seconds, by the file's own tempo map
        seconds += message.time
        if message.type == "note_on" and message.velocity > 0:
            assert message.channel == 9
            notes.append((seconds, message.note, message.velocity))
    notes.sort(key=lambda note: (note[0], note[1]))
    hits = labels[["start_seconds", "key", "level"]].tolist()
    expected = sorted(((start, key, min(127, max(1, int(level * 127 + 0.5))))
                       for start, key, level in hits), key=lambda note: (note[0], note[1]))
    assert [note[1:] for note in notes] == [note[1:] for note in expected]
    half_tick = 60 / min(tempos) / 960 / 2
    assert max(abs(a[0] - b[0]) for a, b in zip(notes, expected)) <= half_tick + 1e-9


MISSING = "/nonexistent-folder/out.wav"
S = kettorin.Status


@pytest.mark.parametrize("call, status, message", [
    (lambda: kettorin.render("kick", "C", tempo=0), S.BAD_TEMPO,
     "BPM must be between 1 and 999. Got: 0"),
    (lambda: kettorin.render("kick", "C", rate=0, tempo=1000), S.BAD_TEMPO,
     "BPM must be between 1 and 999. Got: 1000"),
    (lambda: kettorin.render("kick", "C", rate=-44100), S.BAD_SAMPLE_RATE,
     "Sample rate must be at least 1. Got: -44100"),
    (lambda: kettorin.render("kick", "C1 " * 5, rate=2_000_000_000, tempo=1), S.NO_STORAGE,
     "The composition is too long for a WAV file: more than 2147483629 samples."),
    (lambda: kettorin.render_beat("kick x\nsnar3 x"), S.BAD_INPUT,
     "line 2: unknown drum 'snar3' (kick, snare, hihatc, hihato, high_tom, mid_tom, low_tom, "
     "cowbell, clap, ride, crash)"),
    (lambda: kettorin.render_beat("kick x", rate=0), S.BAD_SAMPLE_RATE,
     "Sample rate must be at least 1. Got: 0"),
    (lambda: kettorin.render_beat("kick x", tempo=1000), S.BAD_TEMPO,
     "BPM must be between 1 and 999. Got: 1000"),
    (lambda: kettorin.render_beat("kick x", repeat=10001), S.BAD_INPUT,
     "repeat must be 1 to 10000, got 10001"),
    (lambda: kettorin.render_beat("kick x", gain_db=float("inf")), S.BAD_INPUT,
     "The gain must be from -120 to 120 dB. Got: inf"),
    (lambda: kettorin.render_midi(b"MThd"), S.BAD_INPUT,
     "byte 0: not a Standard MIDI File: it does not begin with MThd"),
    (lambda: kettorin.render_midi(b"", rate=0), S.BAD_SAMPLE_RATE,
     "Sample rate must be at least 1. Got: 0"),
    (lambda: kettorin.render_midi(CHANNEL_3, map={54: "cowbel"}), S.BAD_INPUT,
     "The option 'map': unknown drum 'cowbel' (kick, snare, hihatc, hihato, high_tom, mid_tom, "
     "low_tom, cowbell, clap, ride, crash)."),
    (lambda: kettorin.compose_midi(CHANNEL_3, MISSING, map=["54"]), S.BAD_INPUT,
     "The option 'map': a mapping is KEY=DRUM, such as 54=cowbell; got '54'."),
    (lambda: kettorin.render_midi(CHANNEL_3, channel=0, stems=True), S.BAD_INPUT,
     "channel must be 1 to 16, got 0"),
    (lambda: kettorin.render_beat("kick x", seed=-1), S.BAD_INPUT,
     "The option 'seed' takes a whole number 0 to 4294967295. Got: '-1'"),
    (lambda: kettorin.compose_beat("kick x", MISSING, humanize=(101, 0)), S.BAD_INPUT,
     "The option 'humanize' takes MS,PERCENT, two whole numbers 0 to 100. Got: '101,0'"),
    (lambda: kettorin.compose("kick", "C", MISSING, tempo=0), S.BAD_TEMPO,
     "BPM must be between 1 and 999. Got: 0"),
    (lambda: kettorin.compose_beat("kick x\nsnar3 x", MISSING), S.BAD_INPUT,
     "line 2: unknown drum 'snar3' (kick, snare, hihatc, hihato, high_tom, mid_tom, low_tom, "
     "cowbell, clap, ride, crash)"),
    (lambda: kettorin.write(MISSING, np.zeros(3), rate=1 << 30, float=True), S.BAD_SAMPLE_RATE,
     "A float WAV file's sample rate must be at most 1073741823 Hz. Got: 1073741824"),
    (lambda: kettorin.render_beat("kick x", channels=3), S.BAD_INPUT,
     "The option 'channels' takes 1 or 2. Got: '3'"),
    (lambda: kettorin.render_midi(CHANNEL_3, pan={"kick": 2}), S.BAD_INPUT,
     "The option 'pan': a pan is -1 (left) to 1 (right); got '2'."),
    (lambda: kettorin.compose_beat("kick x", MISSING, pan={"cowbel": 0}), S.BAD_INPUT,
     "The option 'pan': unknown drum 'cowbel' (kick, snare, hihatc, hihato, high_tom, mid_tom, "
     "low_tom, cowbell, clap, ride, crash)."),
    (lambda: kettorin.write(MISSING, np.zeros((3, 2)), rate=1 << 30), S.BAD_SAMPLE_RATE,
     "A stereo 16-bit WAV file's sample rate must be at most 1073741823 Hz. Got: 1073741824"),
    (lambda: kettorin.write(MISSING, np.zeros(3), rate=8000), S.NOT_WRITTEN,
     f"Could not write file '{MISSING}': No such file or directory."),
    (lambda: kettorin.write("x.wav", np.zeros(3), rate=0), S.BAD_SAMPLE_RATE,
     "Sample rate must be at least 1. Got: 0"),
    (lambda: kettorin.beat_to_midi("kick x", tempo=1000), S.BAD_TEMPO,
     "BPM must be between 1 and 999. Got: 1000"),
    (lambda: kettorin.beat_to_midi("kick x\nsnar3 x"), S.BAD_INPUT,
     "line 2: unknown drum 'snar3' (kick, snare, hihatc, hihato, high_tom, mid_tom, low_tom, "
     "cowbell, clap, ride, crash)"),
    (lambda: kettorin.render_midi(b"MThd", with_labels=True), S.BAD_INPUT,
     "byte 0: not a Standard MIDI File: it does not begin with MThd"),
])
def test_every_refusal_raises_with_its_status_and_message(call, status, message):
    with pytest.raises(kettorin.Error) as raised:
        call()
    assert (raised.value.status, raised.value.message, str(raised.value)) == (status, message,
                                                                              message)


@pytest.mark.parametrize("call, error", [
    (lambda: kettorin.render("kick", "C\0D"), ValueError),        # would cut the notes short
    (lambda: kettorin.render("kick", "C", rate=1 << 32), OverflowError),  # would wrap round
    (lambda: kettorin.render(b"kick", "C"), TypeError),
    (lambda: kettorin.write("x.wav", np.zeros((2, 3)), rate=8000), ValueError),
    (lambda: kettorin.write("x.wav", np.zeros((3, 2, 1)), rate=8000), ValueError),
])
def test_arguments_the_library_cannot_take_are_refused_in_python(call, error):
    with pytest.raises(error):
        call()


def test_render_midi_is_refused_plainly_by_a_library_without_it():
    if hasattr(kettorin._library.library(), "KettorinRenderMidi"):
        pytest.skip("this library reads MIDI")
    with pytest.raises(kettorin.Error, match="MIDI support is not in this library"):
        kettorin.render_midi(b"MThd")


class OlderLibrary:
    """The library without its options object: only the calls it had before."""
    def __init__(self, handle):
        for name in ("KettorinRender", "KettorinRenderBeat", "KettorinRenderMidi",
                     "KettorinWriteWav", "KettorinDrumKinds"):
            setattr(self, name, getattr(handle, name))


@pytest.mark.parametrize("call", [
    lambda: kettorin.render_beat(GROOVE, stems=True),
    lambda: kettorin.render_midi(CHANNEL_3, channel=3),
    lambda: kettorin.render_midi(CHANNEL_3, choke=False),
    lambda: kettorin.render_beat(GROOVE, seed=1),
    lambda: kettorin.write(MISSING, np.zeros(3), rate=8000, float=True),
    lambda: kettorin.compose_beat(GROOVE, MISSING),
    lambda: kettorin.render_beat(PANNED, channels=2),
    lambda: kettorin.write(MISSING, np.zeros((3, 2)), rate=8000),
    lambda: kettorin.beat_to_midi(GROOVE),
    lambda: kettorin.render_beat(GROOVE, with_labels=True),
])
def test_options_are_refused_plainly_by_a_library_without_them(monkeypatch, call):
    monkeypatch.setattr(kettorin, "library", lambda: OlderLibrary(kettorin._library.library()))
    with pytest.raises(kettorin.Error, match="older than its options object") as raised:
        call()
    assert raised.value.status == S.UNSUPPORTED
    kettorin.render_beat(GROOVE, rate=8000)  # what it always did, it still does


def test_status_codes_are_the_headers():
    header = (SOURCE / "platform" / "kettorin.h").read_text()
    block = header[header.index("/* Status codes"):header.index("#ifdef __cplusplus")]
    defined = {name: int(value)
               for name, value in re.findall(r"^#define KETTORIN_(\w+) (\d+)", block, re.M)}
    assert len(defined) == 8
    assert {s.name: s.value for s in S if s is not S.UNSUPPORTED} == defined


def test_drums_are_the_commands_list():
    listed = subprocess.run([COMMAND, "--list-drums"], capture_output=True, text=True).stdout
    keys = [line.split()[0].rstrip(",") for line in listed.splitlines()]
    assert [drum.key for drum in kettorin.drums()] == keys
    assert kettorin.drums()[2] == ("hihat_close", "hihatc", "HI-HAT CLOSED",
                                   "short 8 kHz tick over noise")


def test_threads_render_what_lone_calls_render():
    jobs = [lambda: kettorin.render("crash", "C D E F", rate=22050),
            lambda: kettorin.render_beat(GROOVE, rate=22050, loop=True)] * 8
    alone = [job().tobytes() for job in jobs[:2]]
    with concurrent.futures.ThreadPoolExecutor(max_workers=8) as pool:
        together = list(pool.map(lambda job: job().tobytes(), jobs))
    assert together == alone * 8
