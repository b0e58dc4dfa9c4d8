"""What the Python package adds to the C call: a 60-second track and a one-note render.

    KETTORIN_LIBRARY=build/libTarneloKettorin.so PYTHONPATH=python /usr/bin/python3 \
        bench/python_overhead.py

The C call is made through ctypes with the arguments prepared and a buffer reused, so what is left
is the package's own work: encoding the strings, the count query, the fresh array, the checks.
"""
import ctypes
import statistics
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "python"))
import numpy as np  # noqa: E402

import kettorin  # noqa: E402
from kettorin._library import library  # noqa: E402


def utf16(text):
    return text.encode("utf-16-le") + b"\0\0"


def median_seconds(call, repeats, loops):
    """The median over `repeats` runs of the time one call takes, each run `loops` calls."""
    runs = []
    for _ in range(repeats):
        start = time.perf_counter()
        for _ in range(loops):
            call()
        runs.append((time.perf_counter() - start) / loops)
    return statistics.median(runs)


def compare(label, drum, notes, rate, tempo, repeats, loops, unit, scale):
    lib = library()
    count = ctypes.c_int64(0)
    d, n = utf16(drum), utf16(notes)
    lib.KettorinRender(d, n, rate, tempo, None, 0, ctypes.byref(count), None, 0)
    buffer = np.empty(count.value, dtype=np.float32)
    pointer = buffer.ctypes.data_as(ctypes.POINTER(ctypes.c_float))
    direct = lambda: lib.KettorinRender(d, n, rate, tempo, pointer, count.value,
                                        ctypes.byref(count), None, 0)
    package = lambda: kettorin.render(drum, notes, rate=rate, tempo=tempo)
    assert package().tobytes() == (direct(), buffer)[1].tobytes()
    # Interleaved, so that a busy machine slows both alike.
    c_runs, py_runs = [], []
    for _ in range(repeats):
        c_runs.append(median_seconds(direct, 1, loops))
        py_runs.append(median_seconds(package, 1, loops))
    c, py = statistics.median(c_runs), statistics.median(py_runs)
    print(f"{label}: C call {c * scale:.1f} {unit}, kettorin.render {py * scale:.1f} {unit}, "
          f"overhead {(py - c) * scale:.1f} {unit} ({100 * (py - c) / c:.1f} %)")


def main():
    compare("60 s snare at 44.1 kHz", "snare", "C1 " * 60, 44100, 60, repeats=15, loops=1,
            unit="ms", scale=1e3)
    compare("one 1/64 kick note", "kick", "C64", 44100, 120, repeats=15, loops=2000, unit="us",
            scale=1e6)


if __name__ == "__main__":
    main()
