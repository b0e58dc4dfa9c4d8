"""Draws the waveform of a 16-bit mono WAV file as a small PNG, with nothing but the standard library.

Usage: waveform.py IN.wav OUT.png [WIDTH HEIGHT]
"""
import struct
import sys
import wave
import zlib


def png(path, width, height, pixels):
    """pixels: rows of (r, g, b) tuples."""
    raw = b"".join(b"\0" + bytes(c for px in row for c in px) for row in pixels)
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))


def main():
    source, target = sys.argv[1], sys.argv[2]
    width, height = (int(sys.argv[3]), int(sys.argv[4])) if len(sys.argv) > 4 else (800, 240)
    with wave.open(source) as w:
        data = w.readframes(w.getnframes())
    samples = struct.unpack(f"<{len(data) // 2}h", data)
    background, axis, trace = (250, 250, 247), (200, 200, 200), (30, 70, 150)
    pixels = [[background] * width for _ in range(height)]
    middle = height // 2
    for x in range(width):
        pixels[middle][x] = axis
    per_column = max(1, len(samples) // width)
    for x in range(width):
        column = samples[x * per_column:(x + 1) * per_column] or [0]
        top = middle - int(max(column) / 32768 * (middle - 4))
        bottom = middle - int(min(column) / 32768 * (middle - 4))
        for y in range(max(0, top), min(height, bottom + 1)):
            pixels[y][x] = trace
    png(target, width, height, pixels)


if __name__ == "__main__":
    main()
