"""Random songs rendered by the command and by the second implementation, bit for bit.

Each case is a song text from song_generator.py at a low rate, with now and then the command's
options that change a song (--loop, --stereo, --mono, --seed, --no-choke, -t, --repeat,
--humanize, --map, --pan, --gain, --no-normalize). The
command writes a float file (`kettorin beat FILE --float`); the second implementation's float
file with the same markers must be its every byte. A case is known by its number: rerun one with
--first N --count 1.

Usage: random_songs.py KETTORIN [--count N] [--first N] [--jobs N]
"""
import argparse
import concurrent.futures
import os
import random
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
import reference  # noqa: E402
import song_generator  # noqa: E402

RATES = [50, 100, 250, 441, 500, 800, 1000, 1500]
MOST_SAMPLES = 24000  # frames x channels: keeps the second implementation quick


def frames(text, rate, tempo=None, repeat=None):
    """E: each segment's floor(T x 60 R / (B P)) added up, as the second implementation lays it."""
    song = reference.parse_beat(text)
    by_name = {p["name"]: p for p in song["patterns"]}
    order = (reference.expand(song["play"]) if song["play"]
             else [p["name"] for p in song["patterns"]])
    total, run, key = 0, 0, None
    for name in order * (repeat or song["repeat"]):
        p = by_name[name]
        meter = (p["tempo"] or tempo or song["tempo"], p["steps"] or song["steps"],
                 p["swing"] or song["swing"])
        if meter != key and key is not None:
            total += run * 60 * rate // (key[0] * key[1])
            run = 0
        key, run = meter, run + p["length"]
    return total + run * 60 * rate // (key[0] * key[1])


def case(number):
    """(text, rate, command options, reference options) of case `number`."""
    rng = random.Random(number)
    while True:
        text = song_generator.song(rng)
        rate = rng.choice(RATES)
        options, settings = [], {}
        if song_generator.one_in(rng, 4):
            options.append("--loop")
            settings["loop"] = True
        if song_generator.one_in(rng, 6):
            channels = rng.choice((1, 2))
            options.append("--mono" if channels == 1 else "--stereo")
            settings["channels"] = channels
        if song_generator.one_in(rng, 8):
            seed = rng.randrange(2**32)
            options += ["--seed", str(seed)]
            settings["seed"] = seed
        if song_generator.one_in(rng, 8):
            options.append("--no-choke")
            settings["choke"] = False
        if song_generator.one_in(rng, 10):
            settings["tempo"] = rng.randint(40, 400)
            options += ["-t", str(settings["tempo"])]
        if song_generator.one_in(rng, 10):
            settings["repeat"] = rng.randint(1, 3)
            options += ["--repeat", str(settings["repeat"])]
        if song_generator.one_in(rng, 8):
            ms, percent = rng.randint(0, 40), rng.randint(0, 60)
            options += ["--humanize", f"{ms},{percent}"]
            settings["humanize"] = (ms, percent)
        if song_generator.one_in(rng, 8):  # a key the songs name played by another drum
            key, kind = rng.choice(song_generator.KEYS), rng.randrange(len(reference.KIND_TABLE))
            options += ["--map", f"{key}={reference.KIND_TABLE[kind][0]}"]
            settings["mapping"] = {key: kind}
        if song_generator.one_in(rng, 8):  # sixteenths: exact in float, as the command reads them
            kind, at = rng.randrange(len(reference.KIND_TABLE)), rng.randint(-16, 16) / 16
            options += ["--pan", f"{reference.KIND_TABLE[kind][0]}={at}"]
            settings["pans"] = {kind: at}
        if song_generator.one_in(rng, 8):
            settings["gain_db"] = rng.choice((-40.0, -6.5, 0.0, 3.25, 18.0))
            options += ["--gain", str(settings["gain_db"])]
        if song_generator.one_in(rng, 10):
            options.append("--no-normalize")
            settings["normalize"] = False
        channels = reference.beat_channels(text, settings.get("channels"), settings.get("pans"),
                                           settings.get("mapping"))
        size = frames(text, rate, settings.get("tempo"), settings.get("repeat")) * channels
        if size <= MOST_SAMPLES:
            return text, rate, options, settings


def check(kettorin, folder, number):
    """Nothing when the files agree, otherwise what differs."""
    text, rate, options, settings = case(number)
    what = f"case {number}: rate {rate} {options}: "
    try:
        samples = reference.render_beat(text, rate, **settings)
        channels = reference.beat_channels(text, settings.get("channels"), settings.get("pans"),
                                           settings.get("mapping"))
        marks = reference.play_marks(text, rate, settings.get("tempo"), settings.get("repeat"))
        expected = reference.wav_float_bytes(samples, rate, channels, marks,
                                             bool(settings.get("loop")))
    except Exception as error:  # the second implementation's own fault, shown with its case
        return what + f"the second implementation raised {error!r}\n{text}"
    source = os.path.join(folder, f"case{number}.beat")
    output = os.path.join(folder, f"case{number}.wav")
    with open(source, "w", encoding="utf-8", newline="") as f:
        f.write(text)
    run = subprocess.run([kettorin, "beat", source, "-q", "--float", "-r", str(rate), *options,
                          "-o", output], capture_output=True)
    actual = open(output, "rb").read() if run.returncode == 0 else b""
    os.remove(source)
    if run.returncode == 0:
        os.remove(output)
    if actual == expected:
        return None
    if run.returncode != 0:
        return what + f"status {run.returncode}: {run.stderr.decode().strip()}\n{text}"
    first = next((i for i in range(58, min(len(actual), len(expected)), 4)
                  if actual[i:i + 4] != expected[i:i + 4]), None)
    return (what + f"{len(actual)} bytes, expected {len(expected)}; first differing sample "
            f"{None if first is None else (first - 58) // 4}\n{text}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("kettorin")
    parser.add_argument("--count", type=int, default=10000)
    parser.add_argument("--first", type=int, default=0)
    parser.add_argument("--jobs", type=int, default=min(2, os.cpu_count() or 1))
    args = parser.parse_args()
    started = time.monotonic()
    failures = 0
    numbers = range(args.first, args.first + args.count)
    with tempfile.TemporaryDirectory() as folder, \
            concurrent.futures.ProcessPoolExecutor(args.jobs) as pool:
        results = pool.map(check, [args.kettorin] * len(numbers), [folder] * len(numbers),
                           numbers, chunksize=16)
        for number, wrong in zip(numbers, results):
            if wrong is not None:
                failures += 1
                if failures <= 20:
                    print("MISMATCH " + wrong)
    print(f"{args.count} random songs in {time.monotonic() - started:.0f} s")
    print(f"{args.count - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
