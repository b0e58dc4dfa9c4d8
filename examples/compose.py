"""A Python host: calls the library through ctypes and reads the result back with `wave`.

    python3 compose.py path/to/libTarneloKettorin.so out.wav
"""
import ctypes
import sys
import wave

KETTORIN_DONE = 999


def utf16(text):
    """A NUL-terminated UTF-16 string, as the library takes its strings."""
    data = (text + "\0").encode("utf-16-le")
    return ctypes.create_string_buffer(data, len(data))


def main():
    library = ctypes.CDLL(sys.argv[1])
    compose = library.KettorinCompose
    compose.restype = ctypes.c_int32
    compose.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_int32, ctypes.c_void_p,
                        ctypes.c_int32]
    path = sys.argv[2]
    status = compose(utf16("cowbell"), utf16("A C2 E8 E8 G1"), 22050, utf16(path), 128)
    if status != KETTORIN_DONE:
        sys.exit(f"composition failed with status {status}")
    with wave.open(path) as w:
        seconds = w.getnframes() / w.getframerate()
        print(f"{path}: {w.getnchannels()} channel, {w.getsampwidth() * 8}-bit, "
              f"{w.getframerate()} Hz, {seconds:.3f} s")


if __name__ == "__main__":
    main()
