"""Drum sounds synthesised from formulas, as NumPy arrays.

A thin layer over the TarneloKettorin C library: the samples are the library's own, bit for bit
the values the ``kettorin`` command converts into its 16-bit WAV files, as ``numpy.float32``
arrays (mono, full scale at -1 and 1).

    >>> import kettorin
    >>> x = kettorin.render("snare", "C D E2 F#8 G1", rate=44100, tempo=120)
    >>> y = kettorin.render_beat(open("groove.beat").read(), rate=48000)
    >>> kettorin.write("out.wav", y, rate=48000)
    >>> [drum.key for drum in kettorin.drums()]
    ['kick', 'snare', 'hihat_close', ...]

Failures raise :class:`kettorin.Error`, carrying the library's status and message; nothing is
rendered for a call that is refused. Calls hold no shared state and release the interpreter lock
while they render, so threads render in parallel.

The library is the file named by the environment variable ``KETTORIN_LIBRARY`` when it is set
(and then no other); otherwise the first found beside this package, in the ``build`` folder of
the source tree it came from, and where ``cmake --install`` puts it. When none loads,
:class:`LibraryNotFound` lists every place tried.
"""
from __future__ import annotations

import ctypes
import enum
import os
from typing import Literal, NamedTuple, overload

import numpy as np
import numpy.typing as npt

from ._library import (KettorinBeatOptions, KettorinDrumKind, KettorinLevels, LibraryNotFound,
                       library)

__all__ = ["render", "render_beat", "render_midi", "write", "drums", "Error", "Status", "Drum",
           "Levels", "LibraryNotFound"]
__version__ = "1.1.0.0"

_MESSAGE_BYTES = 1024
_LOOP, _NO_NORMALIZE = 1, 2


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
                with_levels: Literal[False] = ...) -> npt.NDArray[np.float32]: ...
@overload
def render_beat(text: str, rate: int = ..., *, tempo: int | None = ..., repeat: int | None = ...,
                loop: bool = ..., normalize: bool = ..., gain_db: float = ...,
                with_levels: Literal[True]) -> tuple[npt.NDArray[np.float32], Levels]: ...


def render_beat(text: str, rate: int = 44100, *, tempo: int | None = None,
                repeat: int | None = None, loop: bool = False, normalize: bool = True,
                gain_db: float = 0.0, with_levels: bool = False
                ) -> npt.NDArray[np.float32] | tuple[npt.NDArray[np.float32], Levels]:
    """Mixes the drum lines of a beat text (the format of ``kettorin beat`` files).

    rate      samples per second, at least 1.
    tempo     beats per minute (1 to 999) instead of the beat's; None (or 0) keeps the beat's.
    repeat    times the grid is played (1 to 10000) instead of the beat's; None (or 0) keeps it.
    loop      let the last hits ring over into the start: a seamless loop.
    normalize lower the mix to full scale when its peak passes it (the default).
    gain_db   decibels (-120 to 120) the mix is changed by before its peak is measured.
    with_levels  also return the Levels: what the gain and the normalising did.

    Returns the samples of ``kettorin beat FILE --float`` with the same options.
    Raises Error: BAD_SAMPLE_RATE, BAD_INPUT ('line 3: unknown drum ...', an option out of
    range), BAD_TEMPO, NO_STORAGE.
    """
    beat = _utf16(text, "text")
    options = KettorinBeatOptions(_int(rate, "rate"), _int(tempo or 0, "tempo"),
                                  _int(repeat or 0, "repeat"),
                                  (_LOOP if loop else 0) | (0 if normalize else _NO_NORMALIZE),
                                  float(gain_db))
    levels = KettorinLevels()
    samples = _two_pass(lambda *tail: library().KettorinRenderBeat(
        beat, ctypes.byref(options), ctypes.byref(levels), *tail))
    if with_levels:
        return samples, Levels(levels.gain, levels.peak, levels.normalize)
    return samples


def render_midi(data: bytes, rate: int = 44100, *, normalize: bool = True,
                gain_db: float = 0.0) -> npt.NDArray[np.float32]:
    """Renders a Standard MIDI File (its bytes) with the drum kinds.

    rate, normalize and gain_db are as for render_beat. Raises Error with status UNSUPPORTED
    when the loaded library has no MIDI support, and BAD_INPUT for data that cannot be read.
    """
    handle = library()
    if not hasattr(handle, "KettorinRenderMidi"):
        raise Error(Status.UNSUPPORTED,
                    "MIDI support is not in this library: it has no KettorinRenderMidi")
    raw = bytes(data)
    size = _int(len(raw), "the MIDI data's size")
    buffer = (ctypes.c_uint8 * max(size, 1)).from_buffer_copy(raw or b"\0")  # never null
    r, flags = _int(rate, "rate"), 0 if normalize else _NO_NORMALIZE
    return _two_pass(lambda *tail: handle.KettorinRenderMidi(
        buffer, size, r, flags, float(gain_db), None, *tail))


def write(path: str | os.PathLike[str], samples: npt.ArrayLike, rate: int) -> None:
    """Writes samples as a 16-bit mono WAV file, converted as the command converts its own.

    samples  a 1-D array of samples (float32; other types are converted), full scale at -1 and 1;
             beyond it they saturate.
    rate     samples per second, at least 1, stored in the header.

    An existing file is replaced only once the new one is complete.
    Raises Error: BAD_SAMPLE_RATE, NO_STORAGE (too many samples for a WAV file), NOT_WRITTEN.
    """
    target = _utf16(os.fsdecode(path), "path")
    data = np.ascontiguousarray(samples, dtype=np.float32)
    if data.ndim != 1:
        raise ValueError(f"samples must be one-dimensional (mono), not of shape {data.shape}")
    message = ctypes.create_string_buffer(_MESSAGE_BYTES)
    pointer = data.ctypes.data_as(ctypes.POINTER(ctypes.c_float))
    _check(library().KettorinWriteWav(target, pointer, data.size, _int(rate, "rate"), message,
                                      _MESSAGE_BYTES), message)


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
