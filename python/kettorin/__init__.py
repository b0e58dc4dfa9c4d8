"""Drum sounds synthesised from formulas, as NumPy arrays.

A thin layer over the TarneloKettorin C library: the samples are the library's own, bit for bit
the values the ``kettorin`` command converts into its 16-bit WAV files, as ``numpy.float32``
arrays, full scale at -1 and 1: one dimension for mono, shape (frames, 2) for stereo (each row a
left and a right sample).

    >>> import kettorin
    >>> x = kettorin.render("snare", "C D E2 F#8 G1", rate=44100, tempo=120)
    >>> y = kettorin.render_beat(open("groove.beat").read(), rate=48000)
    >>> kettorin.write("out.wav", y, rate=48000)
    >>> mix, stems, levels = kettorin.render_beat(open("groove.beat").read(), stems=True)
    >>> h = kettorin.render_beat(open("tab.beat").read(), seed=7, humanize=(6, 8), choke=False)
    >>> z = kettorin.render_midi(open("song.mid", "rb").read(), channel=10, map={54: "cowbell"})
    >>> s = kettorin.render_beat(open("groove.beat").read(), channels=2, pan={"ride": 0.5})
    >>> kettorin.write("stereo.wav", s, rate=44100)  # s.shape: (frames, 2), left and right
    >>> kettorin.compose_beat(open("groove.beat").read(), "groove.wav", float=True, stems=True)
    >>> open("groove.mid", "wb").write(kettorin.beat_to_midi(open("groove.beat").read()))
    >>> mix, labels = kettorin.render_beat(open("groove.beat").read(), with_labels=True)
    >>> labels["start_sample"], labels["lane"]  # one row a hit, the command's --labels file
    >>> kettorin.compose_beat(open("groove.beat").read(), "groove.wav", labels="groove.csv")
    >>> [drum.key for drum in kettorin.drums()]
    ['kick', 'snare', 'hihat_close', ...]

The options only the command had (MIDI channels and key maps, stems, float files, a beat's seed,
human feel, hi-hat choke and key map, stereo and pans, the file calls compose, compose_beat and
compose_midi) reach the library through its options object; a library from before it refuses them
with the status ``UNSUPPORTED``. Calls without them use the calls they always did on a library
from before stereo, so an older library still serves those.

Failures raise :class:`kettorin.Error`, carrying the library's status and message; nothing is
rendered for a call that is refused. Calls hold no shared state and release the interpreter lock
while they render, so threads render in parallel.

The library is the file named by the environment variable ``KETTORIN_LIBRARY`` when it is set
(and then no other); otherwise the first found beside this package, in the ``build`` folder of
the source tree it came from, and where ``cmake --install`` puts it. When none loads,
:class:`LibraryNotFound` lists every place tried.
"""
from __future__ import annotations

import builtins
import contextlib
import ctypes
import enum
import os
import sys
from collections.abc import Iterable, Iterator, Mapping
from typing import Literal, NamedTuple, overload

import numpy as np
import numpy.typing as npt

from ._library import (OPTIONS_CALLS, KettorinBeatOptions, KettorinDrumKind, KettorinLevels,
                       LibraryNotFound, library)

__all__ = ["render", "render_beat", "render_midi", "beat_to_midi", "write", "compose",
           "compose_beat", "compose_midi", "drums", "Error", "Status", "Drum", "Levels",
           "Rendering", "LibraryNotFound"]
__version__ = "1.1.0.0"

_MESSAGE_BYTES = 1024
_LOOP, _NO_NORMALIZE = 1, 2
_NOTES, _BEAT, _MIDI = 1, 2, 3  # what the calls over the options object render
_MIX = -1                       # their stem argument for the whole mix
_TO_NUL = -1                    # their size for a text that ends at its NUL
_HIHAT_LANE = 11                # a stem's kind for a beat's hihat line, past the drum kinds


class Status(enum.IntEnum):
    """The library's status codes."""
    DONE = 999
    NULL_ARGUMENT = 10
    BAD_SAMPLE_RATE = 11   # sample rate below 1
    BAD_TEMPO = 12         # tempo outside 1 to 999
    NO_STORAGE = 13        # longer than a WAV file can hold, or out of memory
    NOT_WRITTEN = 14       # the file could not be opened, written or closed
    BAD_INPUT = 15         # beat text or MIDI data that cannot be read, an option out of range
    BUFFER_TOO_SMALL = 16
    UNSUPPORTED = -1       # not the library's: this library lacks the call


class Error(Exception):
    """A call the library refused: ``status`` (a :class:`Status`) and ``message``."""

    def __init__(self, status: int, message: str) -> None:
        super().__init__(status, message)  # both, so that it pickles (a worker process's error)
        self.status = Status(status) if status in Status._value2member_map_ else status
        self.message = message

    def __str__(self) -> str:
        return self.message

    def __repr__(self) -> str:
        return f"kettorin.Error({int(self.status)}, {self.message!r})"


class Drum(NamedTuple):
    """One drum kind."""
    key: str    # the name to pass: 'kick', 'hihat_close', ...
    alias: str  # a shorter name that also selects it ('hihatc'), or ''
    name: str   # what reports print: 'HI-HAT CLOSED'
    sound: str  # a few words about the sound


class Levels(NamedTuple):
    """What was done to a mix after its hits were added."""
    gain: float       # the gain's factor, 1 without a gain
    peak: float       # the largest magnitude after the gain, before normalising
    normalize: float  # 1 / peak when the mix was lowered to full scale, otherwise 1


Samples = npt.NDArray[np.float32]
# The labels of a rendering's hits: a structured array, one record a hit (see render_beat).
Labels = npt.NDArray[np.void]


class Rendering(NamedTuple):
    """A mix with its stems: what render_beat and render_midi give with ``stems=True``.

    stems maps each stem's name to its samples, in the order the command writes their files:
    the name is what the command puts between the output's name and ``.wav`` (``groove.kick.wav``),
    the drum's key ('kick', 'hihat_close', ...), or 'hihat' for a beat's hihat line (open and
    closed hats in one lane), with '.2', '.3', ... for a second or third stem of the same drum
    ('kick.2', 'hihat.2'). A stem is one drum line of a beat, or one drum kind of a MIDI file,
    rendered from its own hits with the mix's factors (the levels), as long as the mix; a stereo
    mix's stems are stereo too, of the same shape (frames, 2).
    """
    mix: Samples
    stems: dict[str, Samples]
    levels: Levels


def _utf16(text: str, what: str) -> bytes:
    """A string as the library takes it: NUL-terminated UTF-16."""
    if not isinstance(text, str):
        raise TypeError(f"{what} must be a str, not {type(text).__name__}")
    if "\0" in text:
        raise ValueError(f"{what} contains a NUL character")
    return text.encode("utf-16-le") + b"\0\0"


def _int(value: int, what: str, bits: int = 32) -> int:
    """A whole number that fits the C argument, which would otherwise wrap silently."""
    value = int(value)
    if not -(1 << (bits - 1)) <= value < 1 << (bits - 1):
        raise OverflowError(f"{what} {value} does not fit a {bits}-bit integer")
    return value


def _check(status: int, message: ctypes.Array) -> None:
    if status != Status.DONE:
        raise Error(status, message.value.decode("utf-8", "replace"))


def _two_pass(call) -> npt.NDArray[np.float32]:
    """Asks the call for its sample count, then renders into an array of exactly that size."""
    message = ctypes.create_string_buffer(_MESSAGE_BYTES)
    count = ctypes.c_int64(0)
    _check(call(None, 0, ctypes.byref(count), message, _MESSAGE_BYTES), message)
    samples = np.empty(count.value, dtype=np.float32)
    pointer = samples.ctypes.data_as(ctypes.POINTER(ctypes.c_float))
    _check(call(pointer, count.value, ctypes.byref(count), message, _MESSAGE_BYTES), message)
    return samples


def _two_pass_bytes(call) -> bytes:
    """Asks the call for its byte count, then has it fill a buffer of exactly that size."""
    message = ctypes.create_string_buffer(_MESSAGE_BYTES)
    count = ctypes.c_int64(0)
    _check(call(None, 0, ctypes.byref(count), message, _MESSAGE_BYTES), message)
    buffer = (ctypes.c_uint8 * max(count.value, 1))()
    _check(call(buffer, count.value, ctypes.byref(count), message, _MESSAGE_BYTES), message)
    return ctypes.string_at(buffer, count.value)


# The labels' columns, by the CSV header's names, and their types; a text column's width is its
# longest value's.
_LABEL_COLUMNS = [("start_sample", np.int64), ("start_seconds", np.float64), ("lane", str),
                  ("kind", str), ("key", np.int32), ("level", np.float32), ("length", np.int32),
                  ("pattern", str), ("step", np.int32)]


def _parse_labels(csv: bytes) -> Labels:
    """The library's CSV labels as a structured array; a MIDI hit's empty step is -1."""
    header, *lines = csv.decode("utf-8").splitlines()
    names = header.split(",")
    # No value holds a comma: lanes, kinds and pattern names are letters, digits, '_', '-', '.'.
    columns = list(zip(*(line.split(",") for line in lines))) or [()] * len(names)
    dtype, values = [], []
    for name, kind in _LABEL_COLUMNS:
        column = columns[names.index(name)]
        if kind is str:
            dtype.append((name, f"U{max([1, *map(len, column)])}"))
            values.append(np.array(column, dtype=dtype[-1][1]))
        else:
            dtype.append((name, kind))
            filled = [text or "-1" for text in column] if name == "step" else column
            values.append(np.array(filled, dtype=np.str_).astype(kind))
    labels = np.empty(len(lines), dtype=dtype)
    for (name, _), column in zip(_LABEL_COLUMNS, values):
        labels[name] = column
    return labels


def _labels_with(handle: ctypes.CDLL, source: int, data: object, size: int,
                 options: object) -> Labels:
    return _parse_labels(_two_pass_bytes(lambda *tail: handle.KettorinLabelsWith(
        source, data, size, options, *tail)))


def _calls(*names: str) -> ctypes.CDLL:
    """The library, when it has the options object and the named calls over it."""
    handle = library()
    for name in (*OPTIONS_CALLS, *names):
        if not hasattr(handle, name):
            raise Error(Status.UNSUPPORTED,
                        f"this library is older than its options object: it has no {name}")
    return handle


def _midi_library() -> ctypes.CDLL:
    handle = library()
    if not hasattr(handle, "KettorinRenderMidi"):
        raise Error(Status.UNSUPPORTED,
                    "MIDI support is not in this library: it has no KettorinRenderMidi")
    return handle


def _option_text(name: str, value: object) -> bytes:
    """An option's value as the options object takes it: its str(), booleans as 1 or 0."""
    text = ("1" if value else "0") if isinstance(value, bool) else str(value)
    if "\0" in text:
        raise ValueError(f"the option {name} contains a NUL character")
    return text.encode("utf-8")


@contextlib.contextmanager
def _options(handle: ctypes.CDLL, settings: Iterable[tuple[str, object]]
             ) -> Iterator[ctypes._Pointer]:
    """A library options object with the settings made in order, released on leaving.

    A setting the library refuses raises Error with its status and message.
    """
    options = handle.KettorinOptionsCreate()
    if not options:
        raise MemoryError("the library could not make an options object")
    try:
        message = ctypes.create_string_buffer(_MESSAGE_BYTES)
        for name, value in settings:
            _check(handle.KettorinOptionsSet(options, name.encode("ascii"),
                                             _option_text(name, value), message, _MESSAGE_BYTES),
                   message)
        yield options
    finally:
        handle.KettorinOptionsDestroy(options)


def _beat_settings(rate: int, tempo: int | None, repeat: int | None, loop: bool,
                   normalize: bool, gain_db: float) -> list[tuple[str, object]]:
    return [("rate", _int(rate, "rate")), ("tempo", _int(tempo or 0, "tempo")),
            ("repeat", _int(repeat or 0, "repeat")), ("loop", bool(loop)),
            ("normalize", bool(normalize)), ("gain", builtins.float(gain_db))]


def _mappings(keys: Mapping[int, str] | Iterable[str] | None) -> list[str]:
    """A key map as the option's KEY=DRUM texts."""
    if keys is None:
        return []
    if isinstance(keys, str):
        return [keys]
    if isinstance(keys, Mapping):
        return [f"{key}={drum}" for key, drum in keys.items()]
    return [str(mapping) for mapping in keys]


def _feel_settings(seed: int | None, humanize: tuple[int, int] | None, choke: bool | None,
                   mappings: list[str]) -> list[tuple[str, object]]:
    """A beat's seed, human feel, choke and key map: only those given, so that a call without
    them is served by a library from before them. The library checks their ranges."""
    settings: list[tuple[str, object]] = [("map", mapping) for mapping in mappings]
    if seed is not None:
        settings.append(("seed", seed))
    if humanize is not None:
        ms, percent = humanize
        settings.append(("humanize", f"{ms},{percent}"))
    if choke is not None:
        settings.append(("choke", bool(choke)))
    return settings


def _stereo_settings(channels: int | None, pan: Mapping[str, float] | None
                     ) -> list[tuple[str, object]]:
    """Mono or stereo, and where drums stand: only those given, so that a call without them is
    served by a library from before them. The library checks their values."""
    settings: list[tuple[str, object]] = []
    if channels is not None:
        settings.append(("channels", _int(channels, "channels")))
    for drum, position in (pan or {}).items():
        whole = isinstance(position, int) and not isinstance(position, bool)
        settings.append(("pan", f"{drum}={position if whole else builtins.float(position)!r}"))
    return settings


def _frames(samples: Samples, channels: int) -> Samples:
    """Interleaved stereo samples as (frames, 2), left then right; mono ones as they are."""
    return samples.reshape(-1, 2) if channels == 2 else samples


def _midi_settings(rate: int, normalize: bool, gain_db: float, channel: int,
                   mappings: list[str], choke: bool) -> list[tuple[str, object]]:
    return [("rate", _int(rate, "rate")), ("normalize", bool(normalize)),
            ("gain", builtins.float(gain_db)), ("channel", _int(channel, "channel")),
            *(("map", mapping) for mapping in mappings),
            *([] if choke else [("choke", False)])]  # on is the default: older libraries serve it


def _midi_input(data: bytes) -> tuple[ctypes.Array, int]:
    """The MIDI bytes in a buffer that is never null, and their count."""
    raw = bytes(data)
    size = _int(len(raw), "the MIDI data's size")
    return (ctypes.c_uint8 * max(size, 1)).from_buffer_copy(raw or b"\0"), size


def _levels(levels: KettorinLevels) -> Levels:
    return Levels(levels.gain, levels.peak, levels.normalize)


def _stems(handle: ctypes.CDLL, source: int, data: object, size: int, options: object,
           levels: KettorinLevels, length: int) -> dict[str, Samples]:
    """Every stem, rendered with the mix's levels (so the mix is not rendered again for each)."""
    message = ctypes.create_string_buffer(_MESSAGE_BYTES)
    count = ctypes.c_int32(0)
    _check(handle.KettorinStemsWith(source, data, size, options, None, 0, ctypes.byref(count),
                                    message, _MESSAGE_BYTES), message)
    kinds = (ctypes.c_int32 * max(count.value, 1))()
    _check(handle.KettorinStemsWith(source, data, size, options, kinds, count.value,
                                    ctypes.byref(count), message, _MESSAGE_BYTES), message)
    keys = [drum.key for drum in drums()]
    stems: dict[str, Samples] = {}
    ordinals: dict[str, int] = {}
    for stem in range(count.value):
        key = "hihat" if kinds[stem] == _HIHAT_LANE else keys[kinds[stem]]
        ordinals[key] = ordinals.get(key, 0) + 1
        samples = np.empty(length, dtype=np.float32)
        made = ctypes.c_int64(0)
        _check(handle.KettorinRenderWith(
            source, data, size, options, stem, ctypes.byref(levels),
            samples.ctypes.data_as(ctypes.POINTER(ctypes.c_float)), length, ctypes.byref(made),
            message, _MESSAGE_BYTES), message)
        stems[key if ordinals[key] == 1 else f"{key}.{ordinals[key]}"] = samples[:made.value]
    return stems


def _channels(handle: ctypes.CDLL, source: int, data: object, size: int, options: object) -> int:
    """How many channels the input renders in: 1 from a library from before stereo."""
    if not hasattr(handle, "KettorinChannelsWith"):
        return 1
    message = ctypes.create_string_buffer(_MESSAGE_BYTES)
    channels = ctypes.c_int32(1)
    _check(handle.KettorinChannelsWith(source, data, size, options, ctypes.byref(channels),
                                       message, _MESSAGE_BYTES), message)
    return channels.value


def _render_with(source: int, data: object, size: int, settings: list[tuple[str, object]],
                 stems: bool, with_levels: bool, with_labels: bool = False):
    """Renders through the options object: the mix, and with stems a Rendering; stereo ones as
    (frames, 2). With labels, that and the labels."""
    handle = _calls("KettorinRenderWith", "KettorinStemsWith",
                    *(["KettorinLabelsWith"] if with_labels else []))
    levels = KettorinLevels()
    with _options(handle, settings) as options:
        labels = _labels_with(handle, source, data, size, options) if with_labels else None
        channels = _channels(handle, source, data, size, options)
        mix = _two_pass(lambda *tail: handle.KettorinRenderWith(
            source, data, size, options, _MIX, ctypes.byref(levels), *tail))
        if stems:
            each = _stems(handle, source, data, size, options, levels, mix.size)
            result = Rendering(_frames(mix, channels),
                               {name: _frames(stem, channels) for name, stem in each.items()},
                               _levels(levels))
        else:
            mix = _frames(mix, channels)
            result = (mix, _levels(levels)) if with_levels else mix
    return (result, labels) if with_labels else result


def _has_stereo(handle: ctypes.CDLL) -> bool:
    """Whether the library renders stereo through its options object (a beat text may ask)."""
    return all(hasattr(handle, name) for name in (*OPTIONS_CALLS, "KettorinRenderWith",
                                                  "KettorinStemsWith", "KettorinChannelsWith"))


def _flush_c_stdout() -> None:
    """Sends out what the library printed through C's standard output, before Python goes on."""
    if sys.platform != "win32":  # on Windows the library may have a C runtime of its own
        ctypes.CDLL(None).fflush(None)


def _format(format: str) -> list[tuple[str, object]]:
    """The file format, given only for FLAC, so older libraries still serve WAV calls."""
    return [] if format == "wav" else [("format", format)]


def _bits(bits: int, float: bool) -> list[tuple[str, object]]:
    """The bits option, given only when it is not the default, so older libraries still serve."""
    if bits == 16:
        return []
    if float:
        raise ValueError("float and bits are two formats: give one of them")
    return [("bits", _int(bits, "bits"))]


def _compose(source: int, data: object, size: int, path: str | os.PathLike[str],
             settings: list[tuple[str, object]], quiet: bool,
             labels: str | os.PathLike[str] | None = None) -> None:
    handle = _calls("KettorinComposeWith", *(["KettorinLabelsWith"] if labels is not None else []))
    target = _utf16(os.fsdecode(path), "path")
    message = ctypes.create_string_buffer(_MESSAGE_BYTES)
    with _options(handle, [*settings, ("quiet", bool(quiet))]) as options:
        if not quiet:
            sys.stdout.flush()  # what Python printed before comes first
        try:
            status = handle.KettorinComposeWith(source, data, size, options, target, message,
                                                _MESSAGE_BYTES)
        finally:
            if not quiet:
                _flush_c_stdout()
        _check(status, message)
        if labels is not None:
            text = _two_pass_bytes(lambda *tail: handle.KettorinLabelsWith(
                source, data, size, options, *tail))
            with open(labels, "wb") as file:
                file.write(text)


def render(drum: str, notes: str, rate: int = 44100, tempo: int = 120) -> npt.NDArray[np.float32]:
    """Plays a note string on one drum.

    drum   a drum key (see drums()), matched case-insensitively as a prefix; a name that matches
           none plays the kick.
    notes  letters A-G, each optionally followed by # or b and a duration number N (default 4):
           the note lasts (60 / tempo) / N seconds. Anything else separates notes.
    rate   samples per second, at least 1.
    tempo  beats per minute, 1 to 999.

    Returns the samples of the command ``kettorin -d DRUM -r RATE -t TEMPO --float NOTES``.
    Raises Error: BAD_TEMPO, BAD_SAMPLE_RATE, NO_STORAGE.
    """
    d, n = _utf16(drum, "drum"), _utf16(notes, "notes")
    r, t = _int(rate, "rate"), _int(tempo, "tempo")
    return _two_pass(lambda *tail: library().KettorinRender(d, n, r, t, *tail))


@overload
def render_beat(text: str, rate: int = ..., *, tempo: int | None = ..., repeat: int | None = ...,
                loop: bool = ..., normalize: bool = ..., gain_db: float = ...,
                seed: int | None = ..., humanize: tuple[int, int] | None = ...,
                choke: bool | None = ..., map: Mapping[int, str] | Iterable[str] | None = ...,
                channels: int | None = ..., pan: Mapping[str, float] | None = ...,
                with_levels: Literal[False] = ..., stems: Literal[False] = ...,
                with_labels: Literal[False] = ...) -> Samples: ...
@overload
def render_beat(text: str, rate: int = ..., *, tempo: int | None = ..., repeat: int | None = ...,
                loop: bool = ..., normalize: bool = ..., gain_db: float = ...,
                seed: int | None = ..., humanize: tuple[int, int] | None = ...,
                choke: bool | None = ..., map: Mapping[int, str] | Iterable[str] | None = ...,
                channels: int | None = ..., pan: Mapping[str, float] | None = ...,
                with_levels: Literal[True], stems: Literal[False] = ...,
                with_labels: Literal[False] = ...) -> tuple[Samples, Levels]: ...
@overload
def render_beat(text: str, rate: int = ..., *, tempo: int | None = ..., repeat: int | None = ...,
                loop: bool = ..., normalize: bool = ..., gain_db: float = ...,
                seed: int | None = ..., humanize: tuple[int, int] | None = ...,
                choke: bool | None = ..., map: Mapping[int, str] | Iterable[str] | None = ...,
                channels: int | None = ..., pan: Mapping[str, float] | None = ...,
                with_levels: bool = ..., stems: Literal[True],
                with_labels: Literal[False] = ...) -> Rendering: ...
@overload
def render_beat(text: str, rate: int = ..., *, tempo: int | None = ..., repeat: int | None = ...,
                loop: bool = ..., normalize: bool = ..., gain_db: float = ...,
                seed: int | None = ..., humanize: tuple[int, int] | None = ...,
                choke: bool | None = ..., map: Mapping[int, str] | Iterable[str] | None = ...,
                channels: int | None = ..., pan: Mapping[str, float] | None = ...,
                with_levels: bool = ..., stems: bool = ..., with_labels: Literal[True]
                ) -> tuple[Samples | tuple[Samples, Levels] | Rendering, Labels]: ...


def render_beat(text: str, rate: int = 44100, *, tempo: int | None = None,
                repeat: int | None = None, loop: bool = False, normalize: bool = True,
                gain_db: float = 0.0, seed: int | None = None,
                humanize: tuple[int, int] | None = None, choke: bool | None = None,
                map: Mapping[int, str] | Iterable[str] | None = None,
                channels: int | None = None, pan: Mapping[str, float] | None = None,
                with_levels: bool = False, stems: bool = False, with_labels: bool = False
                ) -> (Samples | tuple[Samples, Levels] | Rendering
                      | tuple[Samples | tuple[Samples, Levels] | Rendering, Labels]):
    """Mixes the drum lines of a beat text (the format of ``kettorin beat`` files), one grid or
    a song of patterns and a play order.

    rate      samples per second, at least 1.
    tempo     beats per minute (1 to 999) instead of the beat's; None (or 0) keeps the beat's.
              A song's pattern with its own tempo keeps it.
    repeat    times the order is played (1 to 10000) instead of the beat's; None (or 0) keeps it.
    loop      let the last hits ring over into the start: a seamless loop.
    normalize lower the mix to full scale when its peak passes it (the default).
    gain_db   decibels (-120 to 120) the mix is changed by before its peak is measured.
    seed      the seed (0 to 4294967295) of the ? cells and the human feel instead of the beat's
              ``seed`` line (the command's ``--seed``); None keeps the beat's. The same seed
              renders the same samples every time.
    humanize  (ms, percent), 0 to 100 each: every hit moves by up to +-ms milliseconds and its
              level by up to +-percent %, instead of the beat's ``humanize`` line (the command's
              ``--humanize MS,PERCENT``); None keeps the beat's, (0, 0) turns it off.
    choke     whether a closed hi-hat stops an open one ringing: False is the command's
              ``--no-choke``, True turns it on over a ``choke off`` line; None keeps the beat's
              (on unless it says ``choke off``).
    map       drums for the lines named by a key number, over the General MIDI ones:
              {54: 'cowbell'} or ['54=cowbell'] (the command's ``--map``), as for render_midi.
    channels  2 for stereo (the command's ``--stereo``), 1 for mono (``--mono``); None keeps the
              beat's own: stereo when its text says ``stereo`` or a line has ``pan=``.
    pan       where drums stand in a stereo mix, -1 (left) to 1 (right), for the lines without
              ``pan=``: {'ride': 0.5, 'hihatc': -0.3} (the command's ``--pan ride=0.5``). A pan
              asks for stereo unless channels is 1.
    with_levels  also return the Levels: what the gain and the normalising did.
    stems     also render each lane (drum line) on its own: returns a Rendering (mix, stems,
              levels), whatever with_levels says; stems is {'kick': ..., 'snare': ...,
              'kick.2': ..., 'hihat': ...}, the samples of the command's ``--stems --float``
              files ``OUT.kick.wav``, ... in order.
    with_labels  also return the labels of every hit that sounds: a pair, what the call gives
              without it and the labels, ``mix, labels = render_beat(text, with_labels=True)``.
              The labels are the command's ``--labels`` file as a NumPy structured array, one
              record a hit, sorted by start and then lane, with the fields start_sample (int64),
              start_seconds (float64, to 9 decimals), lane (str: the stem's name, 'kick.2'),
              kind (str: the drum's key), key (int32: its General MIDI key), level (float32:
              after accents and the human feel, before the headroom), length (int32: samples),
              pattern (str: '' for a grid without patterns) and step (int32: in the pattern,
              from 0). ``pandas.DataFrame(labels)`` makes a table of it.

    Returns the samples of ``kettorin beat FILE --float`` with the same options: a 1-D array for
    mono, (frames, 2) for stereo, the rows the file's frames.
    Raises Error: BAD_SAMPLE_RATE, BAD_INPUT ('line 3: unknown drum ...', an option out of
    range), BAD_TEMPO, NO_STORAGE; UNSUPPORTED for stems, seed, humanize, choke, map, channels or
    pan from a library without its options object. A library from before stereo renders a text
    that asks for it in mono.
    """
    beat = _utf16(text, "text")
    feel = [*_feel_settings(seed, humanize, choke, _mappings(map)),
            *_stereo_settings(channels, pan)]
    if stems or feel or with_labels or _has_stereo(library()):
        return _render_with(_BEAT, beat, _TO_NUL,
                            [*_beat_settings(rate, tempo, repeat, loop, normalize, gain_db), *feel],
                            stems=stems, with_levels=with_levels or stems, with_labels=with_labels)
    options = KettorinBeatOptions(_int(rate, "rate"), _int(tempo or 0, "tempo"),
                                  _int(repeat or 0, "repeat"),
                                  (_LOOP if loop else 0) | (0 if normalize else _NO_NORMALIZE),
                                  float(gain_db))
    levels = KettorinLevels()
    samples = _two_pass(lambda *tail: library().KettorinRenderBeat(
        beat, ctypes.byref(options), ctypes.byref(levels), *tail))
    if with_levels:
        return samples, _levels(levels)
    return samples


@overload
def render_midi(data: bytes, rate: int = ..., *, normalize: bool = ..., gain_db: float = ...,
                channel: int = ..., map: Mapping[int, str] | Iterable[str] | None = ...,
                choke: bool = ..., channels: int | None = ...,
                pan: Mapping[str, float] | None = ..., with_levels: Literal[False] = ...,
                stems: Literal[False] = ..., with_labels: Literal[False] = ...) -> Samples: ...
@overload
def render_midi(data: bytes, rate: int = ..., *, normalize: bool = ..., gain_db: float = ...,
                channel: int = ..., map: Mapping[int, str] | Iterable[str] | None = ...,
                choke: bool = ..., channels: int | None = ...,
                pan: Mapping[str, float] | None = ..., with_levels: Literal[True],
                stems: Literal[False] = ..., with_labels: Literal[False] = ...
                ) -> tuple[Samples, Levels]: ...
@overload
def render_midi(data: bytes, rate: int = ..., *, normalize: bool = ..., gain_db: float = ...,
                channel: int = ..., map: Mapping[int, str] | Iterable[str] | None = ...,
                choke: bool = ..., channels: int | None = ...,
                pan: Mapping[str, float] | None = ..., with_levels: bool = ...,
                stems: Literal[True], with_labels: Literal[False] = ...) -> Rendering: ...
@overload
def render_midi(data: bytes, rate: int = ..., *, normalize: bool = ..., gain_db: float = ...,
                channel: int = ..., map: Mapping[int, str] | Iterable[str] | None = ...,
                choke: bool = ..., channels: int | None = ...,
                pan: Mapping[str, float] | None = ..., with_levels: bool = ...,
                stems: bool = ..., with_labels: Literal[True]
                ) -> tuple[Samples | tuple[Samples, Levels] | Rendering, Labels]: ...


def render_midi(data: bytes, rate: int = 44100, *, normalize: bool = True,
                gain_db: float = 0.0, channel: int = 10,
                map: Mapping[int, str] | Iterable[str] | None = None, choke: bool = True,
                channels: int | None = None, pan: Mapping[str, float] | None = None,
                with_levels: bool = False, stems: bool = False, with_labels: bool = False
                ) -> (Samples | tuple[Samples, Levels] | Rendering
                      | tuple[Samples | tuple[Samples, Levels] | Rendering, Labels]):
    """Renders a Standard MIDI File (its bytes) with the drum kinds.

    rate, normalize, gain_db and with_levels are as for render_beat.
    channel   the MIDI channel of the drums, 1 to 16 (10, General MIDI's, by default).
    map       more keys to play, over the General MIDI ones: {54: 'cowbell'} or ['54=cowbell']
              (the command's ``--map 54=cowbell``); a key is 0 to 127, a drum as for drums().
    choke     a closed hi-hat (keys 42 and 44) stops an open one (46) ringing, as a drummer's
              foot does (the default); False lets it ring through (the command's --no-choke).
    channels  2 for stereo, each drum kind at its place (the command's ``--stereo``); None or 1
              renders mono, as a MIDI file is by default.
    pan       where drum kinds stand, -1 (left) to 1 (right): {'ride': 0.5} (the command's
              ``--pan ride=0.5``); a pan asks for stereo unless channels is 1.
    stems     also render each drum kind on its own: a Rendering, as for render_beat.
    with_labels  also return the labels of every hit that sounds, as for render_beat: a pair,
              ``mix, labels = render_midi(data, with_labels=True)``; a MIDI file's hits have no
              pattern ('') and no step (-1), and their level is the velocity / 127.

    Returns the samples of ``kettorin midi FILE --float`` with the same options: a 1-D array for
    mono, (frames, 2) for stereo.
    Raises Error with status UNSUPPORTED when the loaded library has no MIDI support (or, for
    channel, map, choke=False, channels, pan and stems, no options object), and BAD_INPUT for
    data that cannot be read, a channel out of range or a mapping that names no key or drum.
    """
    handle = _midi_library()
    buffer, size = _midi_input(data)
    mappings = _mappings(map)
    stereo = _stereo_settings(channels, pan)
    if stems or mappings or stereo or with_labels or not choke or _int(channel, "channel") != 10:
        return _render_with(_MIDI, buffer, size,
                            [*_midi_settings(rate, normalize, gain_db, channel, mappings, choke),
                             *stereo],
                            stems=stems, with_levels=with_levels, with_labels=with_labels)
    r, flags = _int(rate, "rate"), 0 if normalize else _NO_NORMALIZE
    levels = KettorinLevels()
    samples = _two_pass(lambda *tail: handle.KettorinRenderMidi(
        buffer, size, r, flags, float(gain_db), ctypes.byref(levels), *tail))
    if with_levels:
        return samples, _levels(levels)
    return samples


def beat_to_midi(text: str, *, rate: int = 44100, tempo: int | None = None,
                 repeat: int | None = None, loop: bool = False, normalize: bool = True,
                 gain_db: float = 0.0, seed: int | None = None,
                 humanize: tuple[int, int] | None = None, choke: bool | None = None,
                 map: Mapping[int, str] | Iterable[str] | None = None,
                 channels: int | None = None, pan: Mapping[str, float] | None = None) -> bytes:
    """A beat text as a Standard MIDI File: the bytes of ``kettorin beat FILE --midi OUT.mid``
    with the same options (which are render_beat's).

    The file is of format 0, on channel 10 at 960 ticks a quarter note: a tempo event at each
    change of tempo, steps or swing, a time signature where a pattern's length in beats changes,
    a marker at each play named by its pattern ('pass N' for the passes of a grid without
    patterns), and a note for each hit that sounds, at the tick nearest its start (swing, shifts,
    the human feel and flams included), its key the line's key number or its drum's General MIDI
    key, its velocity round(level x 127) within 1 to 127, its note-off after its length. The rate
    sets how a hit's length in samples becomes ticks.
    Raises Error with the statuses of render_beat, and UNSUPPORTED for a library without the
    call.
    """
    handle = _calls("KettorinMidiWith")
    beat = _utf16(text, "text")
    settings = [*_beat_settings(rate, tempo, repeat, loop, normalize, gain_db),
                *_feel_settings(seed, humanize, choke, _mappings(map)),
                *_stereo_settings(channels, pan)]
    with _options(handle, settings) as options:
        return _two_pass_bytes(lambda *tail: handle.KettorinMidiWith(beat, _TO_NUL, options,
                                                                      *tail))


def write(path: str | os.PathLike[str], samples: npt.ArrayLike, rate: int, *,
          float: bool = False, bits: int = 16) -> None:
    """Writes samples as a WAV file, converted as the command converts its own.

    samples  a 1-D array of samples for a mono file, or (frames, 2) rows of a left and a right
             sample for a stereo one (what render_beat gives a stereo beat); float32, other types
             are converted; full scale at -1 and 1, beyond it they saturate in a PCM file.
    rate     samples per second, at least 1, stored in the header.
    float    store the samples as 32-bit IEEE float, unchanged, instead of 16-bit PCM (the
             command's --float); needs a library with its options object.
    bits     16, or 24 for 24-bit PCM (the command's --bits 24), converted the same way.

    An existing file is replaced only once the new one is complete.
    Raises Error: BAD_SAMPLE_RATE (for a float or a stereo file also above 1073741823 Hz, lower
    for both), NO_STORAGE (too many samples for a WAV file), NOT_WRITTEN; UNSUPPORTED for float or
    stereo from an older library.
    """
    target = _utf16(os.fsdecode(path), "path")
    data = np.ascontiguousarray(samples, dtype=np.float32)
    stereo = data.ndim == 2 and data.shape[1] == 2
    if data.ndim != 1 and not stereo:
        raise ValueError("samples must be one-dimensional (mono) or of shape (frames, 2) (stereo), "
                         f"not of shape {data.shape}")
    message = ctypes.create_string_buffer(_MESSAGE_BYTES)
    pointer = data.ctypes.data_as(ctypes.POINTER(ctypes.c_float))
    if float or bits != 16 or stereo:
        handle = _calls("KettorinWriteWavWith")
        settings = [("rate", _int(rate, "rate")), ("float", bool(float)), *_bits(bits, float),
                    *([("channels", 2)] if stereo else [])]
        with _options(handle, settings) as options:
            _check(handle.KettorinWriteWavWith(target, pointer, data.size, options, message,
                                               _MESSAGE_BYTES), message)
        return
    _check(library().KettorinWriteWav(target, pointer, data.size, _int(rate, "rate"), message,
                                      _MESSAGE_BYTES), message)


# The file calls. Each writes what the command writes for the same input and options, the stems
# beside the file included, and (with quiet=False) prints its report.


def compose(drum: str, notes: str, path: str | os.PathLike[str], *, rate: int = 44100,
            tempo: int = 120, float: bool = False, bits: int = 16, format: str = "wav",
            quiet: bool = True) -> None:
    """Writes a note string played on one drum as a WAV file, as ``kettorin -d DRUM NOTES`` does.

    drum, notes, rate and tempo are as for render; path is the file to create or replace (only
    once the new one is complete).
    float     store 32-bit IEEE float samples instead of 16-bit PCM (the command's --float).
    bits      16, or 24 for 24-bit PCM (the command's --bits 24).
    format    "wav", or "flac" for a FLAC file of the same samples (a library built with
              libsndfile; the command's --format flac).
    quiet     print no report (the default here, unlike the command's). The library prints the
              report through C's standard output, file descriptor 1, not Python's sys.stdout: it
              is not seen by redirect_stdout, nor in a notebook that shows only sys.stdout.
    Raises Error with the statuses of render, NOT_WRITTEN, and UNSUPPORTED for a library without
    its options object.
    """
    if not isinstance(drum, str):
        raise TypeError(f"drum must be a str, not {type(drum).__name__}")
    _compose(_NOTES, _utf16(notes, "notes"), _TO_NUL, path,
             [("drum", drum), ("rate", _int(rate, "rate")), ("tempo", _int(tempo, "tempo")),
              ("float", bool(float)), *_bits(bits, float), *_format(format)], quiet)


def compose_beat(text: str, path: str | os.PathLike[str], *, rate: int = 44100,
                 tempo: int | None = None, repeat: int | None = None, loop: bool = False,
                 normalize: bool = True, gain_db: float = 0.0, seed: int | None = None,
                 humanize: tuple[int, int] | None = None, choke: bool | None = None,
                 map: Mapping[int, str] | Iterable[str] | None = None, float: bool = False,
                 bits: int = 16, format: str = "wav", channels: int | None = None,
                 pan: Mapping[str, float] | None = None,
                 stems: bool = False, quiet: bool = True,
                 labels: str | os.PathLike[str] | None = None) -> None:
    """Writes the mix of a beat text as a WAV file, as ``kettorin beat FILE -o PATH`` does.

    rate, tempo, repeat, loop, normalize, gain_db, seed, humanize, choke, map, channels and pan
    are as for render_beat: a stereo beat makes a 2-channel file (and stems).
    float     store 32-bit IEEE float samples instead of 16-bit PCM (the command's --float).
    bits      16, or 24 for 24-bit PCM (the command's --bits 24).
    format    "wav", or "flac" for a FLAC file of the same samples (a library built with
              libsndfile; the command's --format flac).
    stems     also write one file per drum line beside it: groove.wav -> groove.kick.wav,
              groove.snare.wav, and groove.kick.2.wav for a second kick line (groove.hihat.wav
              for a hihat line).
    labels    also write the labels of every hit, the command's ``--labels FILE.csv``, to this
              path once the sound is written (CSV: the fields render_beat's with_labels gives).
              A file that cannot be written raises OSError.
    quiet     print no report (the default here, unlike the command's). The library prints the
              report through C's standard output, file descriptor 1, not Python's sys.stdout: it
              is not seen by redirect_stdout, nor in a notebook that shows only sys.stdout.
    Raises Error with the statuses of render_beat, NOT_WRITTEN, and UNSUPPORTED for a library
    without its options object.
    """
    _compose(_BEAT, _utf16(text, "text"), _TO_NUL, path,
             [*_beat_settings(rate, tempo, repeat, loop, normalize, gain_db),
              *_feel_settings(seed, humanize, choke, _mappings(map)),
              *_stereo_settings(channels, pan),
              ("float", bool(float)), *_bits(bits, float), *_format(format),
              ("stems", bool(stems))], quiet, labels)


def compose_midi(data: bytes, path: str | os.PathLike[str], *, rate: int = 44100,
                 normalize: bool = True, gain_db: float = 0.0, channel: int = 10,
                 map: Mapping[int, str] | Iterable[str] | None = None, choke: bool = True,
                 float: bool = False, bits: int = 16, format: str = "wav",
                 channels: int | None = None, pan: Mapping[str, float] | None = None,
                 stems: bool = False, quiet: bool = True,
                 labels: str | os.PathLike[str] | None = None) -> None:
    """Writes the drums of a Standard MIDI File as a WAV file, as ``kettorin midi FILE`` does.

    rate, normalize, gain_db, channel, map, choke, channels and pan are as for render_midi: with
    stereo a 2-channel file (and stems).
    float     store 32-bit IEEE float samples instead of 16-bit PCM (the command's --float).
    bits      16, or 24 for 24-bit PCM (the command's --bits 24).
    format    "wav", or "flac" for a FLAC file of the same samples (a library built with
              libsndfile; the command's --format flac).
    stems     also write one file per drum kind beside it: song.wav -> song.kick.wav, ...
    labels    also write the labels of every hit, the command's ``--labels FILE.csv``, to this
              path once the sound is written (CSV: the fields render_beat's with_labels gives).
              A file that cannot be written raises OSError.
    quiet     print no report (the default here, unlike the command's). The library prints the
              report through C's standard output, file descriptor 1, not Python's sys.stdout: it
              is not seen by redirect_stdout, nor in a notebook that shows only sys.stdout.
    Raises Error with the statuses of render_midi, NOT_WRITTEN, and UNSUPPORTED for a library
    without MIDI support or its options object.
    """
    _midi_library()
    buffer, size = _midi_input(data)
    _compose(_MIDI, buffer, size, path,
             [*_midi_settings(rate, normalize, gain_db, channel, _mappings(map), choke),
              *_stereo_settings(channels, pan),
              ("float", bool(float)), *_bits(bits, float), *_format(format),
              ("stems", bool(stems))], quiet, labels)


def drums() -> list[Drum]:
    """The drum kinds, in the order their names are tried."""
    handle = library()
    count = ctypes.c_int32(0)
    handle.KettorinDrumKinds(None, 0, ctypes.byref(count))
    kinds = (KettorinDrumKind * count.value)()
    status = handle.KettorinDrumKinds(kinds, count.value, ctypes.byref(count))
    if status != Status.DONE:
        raise Error(status, "the drum kinds could not be listed")
    text = lambda b: b.decode("utf-8")
    return [Drum(text(k.key), text(k.alias), text(k.displayName), text(k.sound)) for k in kinds]
