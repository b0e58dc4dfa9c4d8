"""Finding and loading the TarneloKettorin library, and the C declarations of its calls."""
from __future__ import annotations

import ctypes
import ctypes.util
import os
import sys
import sysconfig
from pathlib import Path

__all__ = ["LibraryNotFound", "library", "KettorinBeatOptions", "KettorinLevels",
           "KettorinDrumKind", "KettorinOptions", "OptionsPointer", "OPTIONS_CALLS"]

ENVIRONMENT_VARIABLE = "KETTORIN_LIBRARY"

if sys.platform == "win32":
    FILE_NAMES = ["TarneloKettorin.dll"]
elif sys.platform == "darwin":
    FILE_NAMES = ["libTarneloKettorin.1.dylib", "libTarneloKettorin.dylib"]
else:
    FILE_NAMES = ["libTarneloKettorin.so.1", "libTarneloKettorin.so"]


class LibraryNotFound(OSError):
    """No TarneloKettorin library could be loaded; the message lists every place tried."""


class KettorinBeatOptions(ctypes.Structure):
    _fields_ = [("sampleRate", ctypes.c_int32), ("tempo", ctypes.c_int32),
                ("repeat", ctypes.c_int32), ("flags", ctypes.c_uint32),
                ("gainDb", ctypes.c_double)]


class KettorinLevels(ctypes.Structure):
    _fields_ = [("gain", ctypes.c_float), ("peak", ctypes.c_float),
                ("normalize", ctypes.c_float)]


class KettorinDrumKind(ctypes.Structure):
    _fields_ = [("key", ctypes.c_char_p), ("alias", ctypes.c_char_p),
                ("displayName", ctypes.c_char_p), ("sound", ctypes.c_char_p)]


class KettorinOptions(ctypes.Structure):
    """The library's options object: opaque, only ever handled through a pointer."""


OptionsPointer = ctypes.POINTER(KettorinOptions)

_text = ctypes.c_char_p  # NUL-terminated UTF-16, passed as bytes
_floats = ctypes.POINTER(ctypes.c_float)
_i32, _i64, _u8 = ctypes.c_int32, ctypes.c_int64, ctypes.c_uint8
_render_tail = [_floats, _i64, ctypes.POINTER(_i64), ctypes.c_char_p, _i32]

_PROTOTYPES = {
    "KettorinRender": [_text, _text, _i32, _i32, *_render_tail],
    "KettorinRenderBeat": [_text, ctypes.POINTER(KettorinBeatOptions),
                           ctypes.POINTER(KettorinLevels), *_render_tail],
    "KettorinWriteWav": [_text, _floats, _i64, _i32, ctypes.c_char_p, _i32],
    "KettorinDrumKinds": [ctypes.POINTER(KettorinDrumKind), _i32, ctypes.POINTER(_i32)],
}
# Declared when the library has it: libraries built without MIDI support lack it.
#   KettorinRenderMidi(const uint8_t* data, int32_t size, int32_t sampleRate, uint32_t flags,
#                      double gainDb, KettorinLevels* levels, <the rendering calls' tail>)
# The calls over the options object, declared when the library has them (newer libraries):
#   KettorinOptionsCreate(void) -> KettorinOptions*; KettorinOptionsDestroy(KettorinOptions*)
#   KettorinOptionsSet(options, const char* name, const char* value, message, messageSize)
#   KettorinRenderWith(int32_t source, const void* input, int64_t size, options, int32_t stem,
#                      KettorinLevels* levels, <the rendering calls' tail>)
#   KettorinStemsWith(source, input, size, options, int32_t* kinds, int32_t capacity,
#                     int32_t* count, message, messageSize)
#   KettorinChannelsWith(source, input, size, options, int32_t* channels, message, messageSize)
#   KettorinComposeWith(source, input, size, options, const KettorinChar* outputPath, message,
#                       messageSize)
#   KettorinWriteWavWith(outputPath, const float* samples, int64_t count, options, message,
#                        messageSize)
#   KettorinLabelsWith(source, input, size, options, char* text, int64_t capacity,
#                      int64_t* textSize, message, messageSize)
#   KettorinMidiWith(const KettorinChar* beatText, int64_t size, options, uint8_t* bytes,
#                    int64_t capacity, int64_t* byteCount, message, messageSize)
_with_head = [_i32, ctypes.c_void_p, _i64, OptionsPointer]
_OPTIONAL_PROTOTYPES = {
    "KettorinRenderMidi": [ctypes.POINTER(_u8), _i32, _i32, ctypes.c_uint32, ctypes.c_double,
                           ctypes.POINTER(KettorinLevels), *_render_tail],
    "KettorinOptionsCreate": [],
    "KettorinOptionsDestroy": [OptionsPointer],
    "KettorinOptionsSet": [OptionsPointer, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p,
                           _i32],
    "KettorinRenderWith": [*_with_head, _i32, ctypes.POINTER(KettorinLevels), *_render_tail],
    "KettorinStemsWith": [*_with_head, ctypes.POINTER(_i32), _i32, ctypes.POINTER(_i32),
                          ctypes.c_char_p, _i32],
    "KettorinChannelsWith": [*_with_head, ctypes.POINTER(_i32), ctypes.c_char_p, _i32],
    "KettorinComposeWith": [*_with_head, _text, ctypes.c_char_p, _i32],
    "KettorinWriteWavWith": [_text, _floats, _i64, OptionsPointer, ctypes.c_char_p, _i32],
    # Both fill a byte buffer (the labels' UTF-8 text, the MIDI file), asked for its size first.
    "KettorinLabelsWith": [*_with_head, ctypes.POINTER(_u8), _i64, ctypes.POINTER(_i64),
                           ctypes.c_char_p, _i32],
    "KettorinMidiWith": [_text, _i64, OptionsPointer, ctypes.POINTER(_u8), _i64,
                         ctypes.POINTER(_i64), ctypes.c_char_p, _i32],
}
# What the calls return when it is not a status.
_RESULTS = {"KettorinOptionsCreate": OptionsPointer, "KettorinOptionsDestroy": None}
# The options object's calls: every call that takes it needs all three.
OPTIONS_CALLS = ("KettorinOptionsCreate", "KettorinOptionsDestroy", "KettorinOptionsSet")


def _candidates() -> list[str]:
    """Where the library is looked for, in order."""
    here = Path(__file__).resolve().parent
    found: list[str] = []
    named = os.environ.get(ENVIRONMENT_VARIABLE)
    if named:
        # A library named on purpose is the only one tried: no other is loaded in its place.
        path = Path(named)
        return [str(path / name) for name in FILE_NAMES] if path.is_dir() else [named]
    # Beside the package (a copy in the build tree), and the build folder of a source checkout.
    for folder in (here, here.parent, here.parent.parent / "build"):
        found += [str(folder / name) for name in FILE_NAMES]
    # Installed: the system loader's own search (ld.so cache, LD_LIBRARY_PATH), then the
    # library folders of the usual installation prefixes.
    found += FILE_NAMES
    located = ctypes.util.find_library("TarneloKettorin")
    if located:
        found.append(located)
    multiarch = sysconfig.get_config_var("MULTIARCH") or ""
    for prefix in dict.fromkeys([sys.prefix, sys.base_prefix, "/usr/local", "/usr"]):
        for lib in ("lib", f"lib/{multiarch}" if multiarch else "lib", "lib64", "bin"):
            found += [os.path.join(prefix, lib, name) for name in FILE_NAMES]
    return list(dict.fromkeys(found))


def _load() -> ctypes.CDLL:
    loader = ctypes.WinDLL if sys.platform == "win32" else ctypes.CDLL
    tried: list[str] = []
    for candidate in _candidates():
        if os.path.basename(candidate) != candidate and not os.path.exists(candidate):
            tried.append(f"{candidate} (no such file)")
            continue
        try:
            handle = loader(candidate)
        except OSError as failure:
            tried.append(f"{candidate} ({failure})")
            continue
        if not hasattr(handle, "KettorinRender"):
            tried.append(f"{candidate} (an older library without KettorinRender)")
            continue
        for name, arguments in {**_PROTOTYPES, **_OPTIONAL_PROTOTYPES}.items():
            if hasattr(handle, name):
                function = getattr(handle, name)
                function.argtypes = arguments
                function.restype = _RESULTS.get(name, ctypes.c_int32)
        return handle
    raise LibraryNotFound(
        "the TarneloKettorin library was not found. Build it (cmake --build build), install it "
        f"(cmake --install build), or name it in {ENVIRONMENT_VARIABLE}. Tried:\n  "
        + "\n  ".join(tried))


_handle: ctypes.CDLL | None = None


def library() -> ctypes.CDLL:
    """The loaded library, found on first use."""
    global _handle
    if _handle is None:
        _handle = _load()  # loading twice from two threads at once gives the same library
    return _handle
