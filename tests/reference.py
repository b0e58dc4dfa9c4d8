"""A second, deliberately plain implementation of the composer, for comparing WAV bytes.

Written from the formulas, not from the C++ code: every single-precision step is rounded with
f32(), every double product is formed with Python floats (IEEE double) and rounded once. Python's
math.sin and math.exp are the C library's, so both implementations see the same transcendentals.
Rounding a double result of +, -, * or / of two floats to float gives the correctly rounded float
result, so f32(a * b) is exactly the single-precision product.
"""
import math
import struct

FLT_OVERFLOW = 3.4028235677973366e38  # halfway past the largest float: rounds to infinity


def f32(x):
    if math.isnan(x):
        return x
    if abs(x) >= FLT_OVERFLOW:
        return math.copysign(math.inf, x)
    return struct.unpack("<f", struct.pack("<f", x))[0]


def dexp(x):
    try:
        return math.exp(x)
    except OverflowError:
        return math.inf


def dsin(x):
    return math.nan if math.isinf(x) or math.isnan(x) else math.sin(x)


def trunc32(x):
    if math.isnan(x):
        return 0
    return max(-(2**31), min(2**31 - 1, int(x)))


def excitation(seed):
    m = 0xFFFFFFFF
    x = seed & m
    x ^= x >> 16
    x = (x * 0x7FEB352D) & m
    x ^= x >> 15
    x = (x * 0x846CA68B) & m
    x ^= x >> 16
    half = f32(8388607.5)
    return f32(f32(float(x >> 8) - half) / half)


TWO_PI = f32(6.2831855)


def c(x):
    """A single-precision constant."""
    return f32(x)


def tp(hz):
    return f32(TWO_PI * hz)


def ramp(i, a):
    return f32(f32(float(i)) / f32(float(a)))


def clamp(m):
    if m > 1.0:
        m = 1.0
    if m < -1.0:
        m = -1.0
    return m


def seed_of(s, t, scale):
    return (s ^ (trunc32(f32(t * scale)) & 0xFFFFFFFF)) & 0xFFFFFFFF


def kick(R, f, d, n, out):
    a = trunc32(f32(R * c(0.005)))
    for i in range(n):
        t = f32(f32(float(i)) / R)
        fs = f32(dexp(f32(t * c(-35.0))) * f)
        env = ramp(i, a) if i < a else f32(dexp(f32(f32(t - c(0.005)) * f32(c(-3.5) / d))))
        p = f32(f32(fs * t) * TWO_PI)
        out.append(f32(f32(env * c(0.9)) * dsin(p)))


def snare(R, f, d, n, out):
    a = trunc32(f32(R * c(0.003)))
    k = f32(1.0 / d)
    s = 0
    for i in range(n):
        t = f32(f32(float(i)) / R)
        rmp = ramp(i, a) if i < a else 1.0
        x = f32(k * t)
        e8 = f32(dexp(f32(x * c(-8.0))))
        e = excitation(seed_of(s, t, 1000.0))
        m = f32(f32(e * e8) * c(0.4))
        m = f32(m + f32(dexp(f32(x * c(-12.0))) * dsin(f32(t * tp(1500))) * c(0.3)))
        m = f32(m + f32(dsin(f32(t * tp(200))) * c(0.4)))
        m = f32(m * f32(e8 * rmp))
        out.append(f32(clamp(m) * c(0.8)))
        s = (s + 73856093) & 0xFFFFFFFF


def hihat_closed(R, f, d, n, out):
    a = trunc32(f32(R * c(0.002)))
    k = f32(1.0 / d)
    s = 0
    for i in range(n):
        t = f32(f32(float(i)) / R)
        if i < a:
            env = ramp(i, a)
        else:
            env = f32(dexp(f32(f32(f32(t - c(0.002)) * c(-12.0)) / f32(d * c(0.5)))))
        e = excitation(seed_of(s, t, 2000.0))
        m = f32(dexp(f32(f32(k * t) * c(-15.0))) * dsin(f32(t * tp(8000))) * c(0.2))
        m = f32(m + f32(e * c(0.6)))
        m = f32(m * env)
        out.append(f32(clamp(m) * c(0.6)))
        s = (s + 12345) & 0xFFFFFFFF


def hihat_open(R, f, d, n, out):
    k = f32(1.0 / d)
    s = 0
    for i in range(n):
        t = f32(f32(float(i)) / R)
        env = f32(dexp(f32(f32(k * t) * c(-4.0))))
        e = excitation(seed_of(s, t, 2500.0))
        m = f32(f32(dsin(f32(t * tp(9500))) * env * c(0.1)) +
                f32(env * dsin(f32(t * tp(7000))) * c(0.15)))
        m = f32(m + f32(e * c(0.5)))
        m = f32(m * env)
        out.append(f32(clamp(m) * c(0.6)))
        s = (s + 54321) & 0xFFFFFFFF


def tom(R, f, d, n, out):
    a = trunc32(f32(R * c(0.004)))
    dd = f32(d * c(0.9))
    k = f32(1.0 / d)
    s = 0
    for i in range(n):
        t = f32(f32(float(i)) / R)
        fs = f32(dexp(f32(t * c(-12.0))) * f)
        rmp = ramp(i, a) if i < a else 1.0
        rel = f32(dexp(f32(f32(f32(t - c(0.004)) * c(-6.0)) / dd)))
        u = f32(fs * t)
        e = excitation(s)
        m = f32(f32(dexp(f32(f32(k * t) * c(-8.0))) * dsin(f32(u * c(9.424778))) * c(0.2)) +
                f32(dsin(f32(u * TWO_PI)) * c(0.5)))
        m = f32(m + f32(e * c(0.1)))
        m = f32(m * f32(rel * rmp))
        out.append(f32(m * c(0.8)))
        s = (s + 11111) & 0xFFFFFFFF


def cowbell(R, f, d, n, out):
    k = f32(1.0 / d)
    for i in range(n):
        t = f32(f32(float(i)) / R)
        env = f32(dexp(f32(f32(k * t) * c(-2.5))))
        u = f32(t * f)
        m = f32(f32(dsin(f32(u * c(18.66106))) * c(0.15)) + f32(dsin(f32(u * c(6.2831855))) * c(0.3)))
        m = f32(m + f32(dsin(f32(u * c(12.754867))) * c(0.2)))
        m = f32(m + f32(dsin(f32(u * c(9.299114))) * c(0.25)))
        out.append(f32(f32(m * env) * c(0.8)))


def clap(R, f, d, n, out):
    a = trunc32(f32(R * c(0.003)))
    s = 0
    for i in range(n):
        t = f32(f32(float(i)) / R)
        if i < a:
            env = ramp(i, a)
        else:
            env = f32(dexp(f32(f32(f32(t - c(0.003)) * c(-7.0)) / f32(d * c(0.8)))))
        e = excitation(seed_of(s, t, 3000.0))
        m = f32(f32(dsin(f32(t * tp(3500))) * c(0.15)) + f32(dsin(f32(t * tp(2000))) * c(0.2)))
        m = f32(m + f32(e * c(0.6)))
        m = f32(m * env)
        out.append(f32(clamp(m) * c(0.7)))
        s = (s + 999) & 0xFFFFFFFF


def cymbal(partials, rate_c, weight, step, scale):
    def render(R, f, d, n, out):
        k = f32(1.0 / d)
        s = 0
        for i in range(n):
            t = f32(f32(float(i)) / R)
            env = f32(dexp(f32(f32(k * t) * c(-rate_c))))
            e = excitation(seed_of(s, t, scale))
            terms = [f32(dsin(f32(t * tp(hz))) * c(w)) for hz, w in partials]
            m = f32(terms[0] + terms[1])
            for term in terms[2:]:
                m = f32(m + term)
            m = f32(m + f32(e * c(weight)))
            m = f32(m * env)
            out.append(f32(clamp(m) * c(0.6)))
            s = (s + step) & 0xFFFFFFFF
    return render


ride = cymbal([(10000, 0.1), (7500, 0.15), (5000, 0.2)], 3.5, 0.4, 777, 2500.0)
crash = cymbal([(11000, 0.08), (6000, 0.12), (4000, 0.15), (8500, 0.1)], 1.5, 0.5, 333, 3000.0)

# kind: (keys, voice, frequency factor or None for "as is")
KINDS = [
    (["kick"], kick, None),
    (["snare"], snare, None),
    (["hihat_close", "hihatc"], hihat_closed, None),
    (["hihat_open", "hihato"], hihat_open, None),
    (["high_tom", "tom"], tom, 1.5),
    (["mid_tom"], tom, None),
    (["low_tom"], tom, 0.667),
    (["cowbell"], cowbell, 2.0),
    (["clap"], clap, None),
    (["ride"], ride, None),
    (["crash"], crash, None),
]

HZ = {"A": 440, "B": 494, "C": 262, "D": 294, "E": 330, "F": 349, "G": 392}


def lookup(name):
    low = name.lower()
    for keys, voice, factor in KINDS:
        for key in keys:
            if low.startswith(key):
                return voice, factor
    return kick, None


def notes_of(text):
    i = 0
    while i < len(text):
        ch = text[i]
        if ch not in HZ:
            i += 1
            continue
        i += 1
        acc = ""
        if i < len(text) and text[i] in "#b":
            acc = text[i]
            i += 1
        n = 4
        if i < len(text) and text[i].isdigit():
            n = 0
            while i < len(text) and text[i].isdigit():
                n = (n * 10 + int(text[i])) & 0xFFFFFFFF
                i += 1
            if n >= 2**31:
                n -= 2**32
        f = float(HZ[ch])
        if acc == "#":
            f = f32(f * c(1.0594631))
        elif acc == "b":
            f = f32(f * c(0.94387424))
        yield f, n


def render(drum, notes, rate, tempo):
    voice, factor = lookup(drum)
    beat = f32(c(60.0) / float(tempo))
    R = f32(float(rate))
    out = []
    for f, n in notes_of(notes):
        if n == 0:
            continue
        d = f32(beat / float(n))
        count = trunc32(f32(R * d)) if f32(R * d) >= 1.0 else 0
        if factor is not None:
            f = f32(f * c(factor))
        voice(R, f, d, count, out)
    return out


def pcm16(x):
    v = f32(x * c(32767.0))
    if math.isnan(v):
        return 0
    return max(-32768, min(32767, int(v)))


def pcm24(x):
    v = f32(x * c(8388607.0))
    if math.isnan(v):
        return 0
    return max(-8388608, min(8388607, int(v)))


def chunk(tag, body):
    """A RIFF chunk: its tag, its size, its body and a pad byte when the size is odd."""
    return tag + struct.pack("<I", len(body)) + body + (b"\0" if len(body) % 2 else b"")


def after_data(data, rate, frames, marks, loop):
    """What follows the samples: their pad byte, then for markers a cue chunk (ID, position,
    "data", chunk start, block start, sample offset) and a LIST/adtl chunk of labl names, and for a
    loop a smpl chunk with one forward loop over every frame."""
    out = b"\0" if len(data) % 2 else b""
    if marks:
        out += chunk(b"cue ", struct.pack("<I", len(marks)) + b"".join(
            struct.pack("<II4sIII", i + 1, frame, b"data", 0, 0, frame)
            for i, (frame, _) in enumerate(marks)))
        out += chunk(b"LIST", b"adtl" + b"".join(
            chunk(b"labl", struct.pack("<I", i + 1) + name.encode() + b"\0")
            for i, (_, name) in enumerate(marks)))
    if loop:
        period = (10 ** 9 + rate // 2) // rate
        out += chunk(b"smpl", struct.pack("<9I", 0, 0, period, 60, 0, 0, 0, 1, 0) +
                     struct.pack("<6I", 0, 0, 0, max(frames - 1, 0), 0, 0))
    return out


def pcm_bytes(data, rate, width, channels, marks=None, loop=False):
    """A PCM file's header before its samples' bytes: `width` bytes a sample, `channels` of them
    interleaved a frame; then the markers and the loop."""
    tail = after_data(data, rate, len(data) // (width * channels), marks, loop)
    header = struct.pack("<4sI4s4sIHHIIHH4sI", b"RIFF", 36 + len(data) + len(tail), b"WAVE",
                         b"fmt ", 16, 1, channels, rate, rate * width * channels, width * channels,
                         8 * width, b"data", len(data))
    return header + data + tail


def wav_bytes(samples, rate, channels=1, marks=None, loop=False):
    """16-bit PCM; a stereo mix's samples are interleaved, left then right."""
    return pcm_bytes(b"".join(struct.pack("<h", pcm16(x)) for x in samples), rate, 2, channels,
                     marks, loop)


def wav24_bytes(samples, rate, channels=1, marks=None, loop=False):
    return pcm_bytes(b"".join(struct.pack("<i", pcm24(x))[:3] for x in samples), rate, 3,
                     channels, marks, loop)


def wav_float_bytes(samples, rate, channels=1, marks=None, loop=False):
    """Float samples; the fact chunk counts frames."""
    data = b"".join(struct.pack("<f", x) for x in samples)
    tail = after_data(data, rate, len(samples) // channels, marks, loop)
    header = struct.pack("<4sI4s4sIHHIIHHH4sII4sI", b"RIFF", 50 + len(data) + len(tail), b"WAVE",
                         b"fmt ", 18, 3, channels, rate, rate * 4 * channels, 4 * channels, 32, 0,
                         b"fact", 4, len(samples) // channels, b"data", len(data))
    return header + data + tail


# ---- beats ----------------------------------------------------------------------------------

KIND_TABLE = [  # key, second key, voice, pitch factor (None: as is), ignores pitch, ring (s)
    ("kick", None, kick, None, False, 0.5),
    ("snare", None, snare, None, True, 0.5),
    ("hihat_close", "hihatc", hihat_closed, None, True, 0.125),
    ("hihat_open", "hihato", hihat_open, None, True, 1.0),
    ("high_tom", "tom", tom, 1.5, False, 0.5),
    ("mid_tom", None, tom, None, False, 0.5),
    ("low_tom", None, tom, 0.667, False, 0.5),
    ("cowbell", None, cowbell, 2.0, False, 0.5),
    ("clap", None, clap, None, True, 0.5),
    ("ride", None, ride, None, True, 2.0),
    ("crash", None, crash, None, True, 2.0),
]

CELL_LEVELS = {"x": 0.7, "o": 0.7, "X": 1.0, "O": 1.0, "g": 0.35, "f": 0.7, "F": 1.0, "d": 0.7,
               "D": 1.0, "?": 0.7, **{str(v): f32(v / 9.0) for v in range(1, 10)}}
RESTS = "-."
GRACE_LEVEL = 0.35
ACCENT_FACTOR = 1.4285715  # 10/7: an accented x plays as an X
CLOSED, OPEN = 2, 3  # the hi-hat kinds' places in KIND_TABLE
# Each kind's place in a stereo mix, -1 left to 1 right, in KIND_TABLE's order.
KIND_PANS = [f32(p) for p in (0.0, 0.0, -0.3, -0.3, -0.2, 0.1, 0.4, 0.2, 0.0, 0.4, -0.35)]


def pan_law(position):
    """(left, right) gains of a position: a = (P + 1) x pi/4 in float, cos and sin in double."""
    a = f32(f32(position + 1.0) * c(0.78539819))
    return f32(math.cos(a)), f32(math.sin(a))


def kind_pan(kind, pans):
    """A kind's position: the one given for it (kind index to position), else its own."""
    return (pans or {}).get(kind, KIND_PANS[kind])

# The names drum tabs write, each for one kind.
TAB_NAMES = {}
for _kind, _names in enumerate(["bd b k", "sd sn s", "ch hf fh", "oh", "t t1 ht", "t2 mt",
                                "t3 ft lt f", "cb", "cp", "r rc rd", "c cc cr"]):
    TAB_NAMES.update((name, _kind) for name in _names.split())


def find_kind(name):
    low = name.lower()
    for index, (key, key2, *_rest) in enumerate(KIND_TABLE):
        for k in (key, key2):
            if k and low.startswith(k):
                return index
    return None


def name_kind(name, mapping):
    """"accent", "hihat", or the kind a line's name plays: the tab names, a key number through the
    key table under the mappings, else a kind's key as a prefix."""
    low = name.lower()
    if low in ("accent", "ac"):
        return "accent"
    if low in ("hihat", "hh"):
        return "hihat"
    if low in TAB_NAMES:
        return TAB_NAMES[low]
    if low and all(ch in "0123456789" for ch in low) and int(low) <= 127:
        keys = dict(GM_KEYS)
        keys.update(mapping or {})
        if int(low) not in keys:
            raise ValueError(f"key {low} plays no drum (--map)")
        return keys[int(low)]
    kind = find_kind(name)
    if kind is None:
        raise ValueError("unknown drum " + name)
    return kind


NAME_CHARS = set("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-.")


def is_count_line(line):
    words = line.split()
    return bool(words) and words[0][0] == "1" and set(line) <= set("0123456789 |+&ea.")


def grid_steps(grid):
    """The steps of a grid: each a list of its cells (one, or a bracket's 1 to 16)."""
    steps, at = [], 0
    while at < len(grid):
        ch = grid[at]
        if ch in " |":
            at += 1
        elif ch == "[":
            end = grid.index("]", at)
            inner = grid[at + 1:end]
            if not 1 <= len(inner) <= 16 or set(inner) - set(CELL_LEVELS) - set(RESTS):
                raise ValueError("bracket " + inner)
            steps.append(list(inner))
            at = end + 1
        elif ch in CELL_LEVELS or ch in RESTS:
            steps.append([ch])
            at += 1
        else:
            raise ValueError("cell " + ch)
    return steps


def drum_line(line, mapping):
    line = line.strip()
    cut = min([i for i in (line.find(" "), line.find("|")) if i >= 0], default=len(line))
    name, rest = line[:cut], line[cut:].split()
    kind = name_kind(name, mapping)
    entry = {"kind": kind, "pitch": "C", "ring": None, "level": 1.0, "flam": f32(0.02),
             "chance": f32(0.5), "shift": 0.0, "settings": 0}
    if kind not in ("accent", "hihat"):
        entry["ring"] = KIND_TABLE[kind][5]
    while rest and "=" in rest[0]:
        key, value = rest.pop(0).split("=", 1)
        entry[key] = value if key == "pitch" else f32(float(value))
        entry["settings"] += 1
    entry["steps"] = grid_steps(" ".join(rest))
    if kind == "accent" and (entry["settings"] or any(len(s) > 1 for s in entry["steps"])):
        raise ValueError("an accent line takes no settings and no brackets")
    return entry


def parse_play(text):
    """The items of a play line: (name, count) or (list of items, count)."""
    at = 0

    def count():
        nonlocal at
        if at < len(text) and text[at] == "*":
            end = at + 1
            while end < len(text) and text[end].isdigit():
                end += 1
            n, at = int(text[at + 1:end]), end
            if not 1 <= n <= 10000:
                raise ValueError("count " + str(n))
            return n
        return 1

    def items(depth):
        nonlocal at
        out = []
        while at < len(text):
            ch = text[at]
            if ch in " \t":
                at += 1
            elif ch == "(":
                if depth == 8:
                    raise ValueError("groups nested too deep")
                at += 1
                inner = items(depth + 1)
                if at >= len(text) or text[at] != ")":
                    raise ValueError("unclosed group")
                at += 1
                out.append((inner, count()))
            elif ch == ")":
                if depth == 0:
                    raise ValueError("unopened group")
                return out
            elif ch in NAME_CHARS:
                end = at
                while end < len(text) and text[end] in NAME_CHARS:
                    end += 1
                name, at = text[at:end], end
                out.append((name, count()))
            else:
                raise ValueError("unexpected " + ch)
        return out

    result = items(0)
    if not result:
        raise ValueError("empty play")
    return result


def expand(items):
    out = []
    for item, n in items:
        out.extend(([item] if isinstance(item, str) else expand(item)) * n)
    return out


def parse_beat(text, mapping=None):
    """A song: its defaults, repeat, seed, humanize, choke, patterns (each with its own directives
    or None, its drum lines and its accent line or None) and play items. A text with no pattern
    line is one pattern. Raises ValueError for what the library refuses (not every refusal: this
    only needs to read valid texts)."""
    if text.startswith("\ufeff"):
        text = text[1:]
    song = {"tempo": 120, "steps": 4, "swing": 50, "repeat": 1, "seed": 0, "humanize": (0, 0),
            "choke": True, "stereo": False, "patterns": [], "play": []}
    once = set()
    loose = []  # lines before the first pattern line
    current = None
    for raw in text.split("\n"):
        line = raw[:-1] if raw.endswith("\r") else raw
        for i, ch in enumerate(line):
            if ch == "#" and (i == 0 or line[i - 1] in " \t"):
                line = line[:i]
                break
        line = line.replace("\t", " ")
        words = line.split()
        if not words or is_count_line(line):
            continue
        if words[0] == "pattern":
            name = words[1]
            if len(words) != 2 or not 1 <= len(name) <= 32 or set(name) - NAME_CHARS:
                raise ValueError("pattern name " + name)
            if any(p["name"] == name for p in song["patterns"]):
                raise ValueError("pattern " + name + " twice")
            current = {"name": name, "tempo": None, "steps": None, "swing": None, "lines": []}
            song["patterns"].append(current)
        elif words[0] == "play":
            song["play"].extend(parse_play(line.split(None, 1)[1] if len(words) > 1 else ""))
        elif words[0] == "repeat":
            song["repeat"] = int(words[1])
        elif words[0] == "stereo" and len(words) == 1:
            if "stereo" in once:
                raise ValueError("stereo twice")
            once.add("stereo")
            song["stereo"] = True
        elif words[0] in ("seed", "humanize", "choke"):
            if words[0] in once:
                raise ValueError(words[0] + " twice")
            once.add(words[0])
            if words[0] == "seed":
                song["seed"] = int(words[1])
            elif words[0] == "humanize":
                song["humanize"] = (int(words[1]), int(words[2]))
            else:
                song["choke"] = {"on": True, "off": False}[words[1]]
        elif words[0] in ("tempo", "steps", "swing"):
            if current is None:
                song[words[0]] = int(words[1])
            elif current[words[0]] is not None:
                raise ValueError(words[0] + " twice in pattern " + current["name"])
            else:
                current[words[0]] = int(words[1])
        else:
            (loose if current is None else current["lines"]).append(drum_line(line, mapping))
    if not song["patterns"]:
        song["patterns"].append({"name": None, "tempo": None, "steps": None, "swing": None,
                                 "lines": loose})
    elif loose:
        raise ValueError("a drum line before the first pattern")
    if not any(p["lines"] for p in song["patterns"]):
        raise ValueError("no drum line")
    names = [p["name"] for p in song["patterns"]]
    for p in song["patterns"]:
        if not p["lines"]:
            raise ValueError("pattern " + p["name"] + " has no drum line")
        if len({len(entry["steps"]) for entry in p["lines"]}) != 1:
            raise ValueError("drum lines of different lengths")
        accents = [entry for entry in p["lines"] if entry["kind"] == "accent"]
        if len(accents) > 1:
            raise ValueError("two accent lines in a pattern")
        p["length"] = len(p["lines"][0]["steps"])
        p["accent"] = accents[0] if accents else None
        p["lines"] = [entry for entry in p["lines"] if entry["kind"] != "accent"]
    for name in expand(song["play"]):
        if name not in names:
            raise ValueError(f"unknown pattern '{name}' in play ({', '.join(names)})")
    return song


def pitch_hz(name):
    f = float(HZ[name[0]])
    if name[1:] == "#":
        f = f32(f * c(1.0594631))
    elif name[1:] == "b":
        f = f32(f * c(0.94387424))
    return f


def u32(x):
    return x & 0xFFFFFFFF


def fade_out(samples, R):
    """A beat's or MIDI track's hit ends in a ramp over its last min(n, trunc(R x 0.002f))
    samples: sample i times float(n - i) / float(F + 1)."""
    n = len(samples)
    F = min(n, int(f32(R * c(0.002))))
    for i in range(n - F, n):
        samples[i] = f32(samples[i] * f32(f32(float(n - i)) / f32(float(F + 1))))
    return samples


def mix32(x):
    """The integer hash of the excitation source, without its conversion to float."""
    x = u32(x)
    x ^= x >> 16
    x = u32(x * 0x7FEB352D)
    x ^= x >> 15
    x = u32(x * 0x846CA68B)
    return x ^ (x >> 16)


def draw(seed, p, lane, j):
    """u(p, lane, j): a float in [-1, 1]; p is 0 for chance, 1 for time, 2 for level."""
    return excitation(u32(mix32(u32(mix32(u32(seed + p)) + lane)) + j))


def sounds(chance, u):
    if chance >= 1.0:
        return True
    return chance > 0.0 and f32(f32(u * c(0.5)) + c(0.5)) < chance


def play_marks(text, rate, tempo=None, repeat=None, mapping=None):
    """Each play's first sample and name (its pattern's; "pass N" for a grid's passes)."""
    song = parse_beat(text, mapping)
    song_tempo = tempo or song["tempo"]
    by_name = {p["name"]: p for p in song["patterns"]}
    order = expand(song["play"]) if song["play"] else [p["name"] for p in song["patterns"]]
    plays = [by_name[name] for name in order] * (repeat or song["repeat"])
    marks, A, run, key = [], 0, [], None
    for i, p in enumerate(plays + [None]):
        meter = None if p is None else (
            song_tempo if p["tempo"] is None else p["tempo"],
            song["steps"] if p["steps"] is None else p["steps"],
            song["swing"] if p["swing"] is None else p["swing"])
        if run and meter != key:  # a segment ends: its plays' starts, then its floored length
            B, P, W = key
            s0 = 0
            for q in run:
                w = 2 * (W - 50) if s0 % 2 else 0
                marks.append(A + (100 * s0 + w) * 60 * rate // (100 * B * P))
                s0 += q["length"]
            A += s0 * 60 * rate // (B * P)
            run = []
        run.append(p)
        key = meter
    return [(frame, p["name"] or f"pass {i + 1}") for i, (frame, p) in enumerate(zip(marks, plays))]


def lay_out(text, rate, tempo=None, repeat=None, loop=False, seed=None, humanize=None,
            mapping=None):
    """(E, lane names, each lane's hits as (start sample, kind, line, level) in the order they are
    mixed, choke as the text sets it)."""
    song = parse_beat(text, mapping)
    song_tempo = tempo or song["tempo"]
    seed = song["seed"] if seed is None else seed
    ms, percent = song["humanize"] if humanize is None else humanize
    R = f32(float(rate))
    D = f32(f32(R * f32(float(ms))) / c(1000.0))
    spread = f32(f32(float(percent)) / c(100.0))
    lane_names, lane_of = [], {}
    for p in song["patterns"]:
        seen = {}
        for entry in p["lines"]:
            key = "hihat" if entry["kind"] == "hihat" else KIND_TABLE[entry["kind"]][0]
            seen[key] = seen.get(key, 0) + 1
            name = key if seen[key] == 1 else f"{key}.{seen[key]}"
            if name not in lane_of:
                lane_of[name] = len(lane_names)
                lane_names.append(name)
            entry["lane"] = lane_of[name]
    by_name = {p["name"]: p for p in song["patterns"]}
    order = expand(song["play"]) if song["play"] else [p["name"] for p in song["patterns"]]
    plays = [by_name[name] for name in order] * (repeat or song["repeat"])

    def meter(p):
        return (song_tempo if p["tempo"] is None else p["tempo"],
                song["steps"] if p["steps"] is None else p["steps"],
                song["swing"] if p["swing"] is None else p["swing"])

    segments = []  # [(B, P, W), [plays]]
    for p in plays:
        if segments and segments[-1][0] == meter(p):
            segments[-1][1].append(p)
        else:
            segments.append((meter(p), [p]))
    E = sum(sum(p["length"] for p in run) * 60 * rate // (B * P) for (B, P, W), run in segments)
    hits = [[] for _ in lane_names]
    drawn = [0] * len(lane_names)  # each lane's sounding cells so far
    A = 0
    for (B, P, W), run in segments:
        T = sum(p["length"] for p in run)
        L = T * 60 * rate // (B * P)

        def start(s):
            if s == T:
                return A + L
            w = 2 * (W - 50) if s % 2 else 0
            return A + (100 * s + w) * 60 * rate // (100 * B * P)
        s0 = 0
        for p in run:
            for entry in p["lines"]:
                lane = entry["lane"]
                shift = trunc32(f32(f32(R * entry["shift"]) / c(1000.0)))
                G = trunc32(f32(R * entry["flam"]))
                for j, cells in enumerate(entry["steps"]):
                    S, S2 = start(s0 + j), start(s0 + j + 1)
                    accented = p["accent"] is not None and p["accent"]["steps"][j][0] not in RESTS
                    for i, cell in enumerate(cells):
                        if cell in RESTS:  # a rest draws nothing
                            continue
                        n, drawn[lane] = drawn[lane], drawn[lane] + 1
                        if cell == "?" and not sounds(entry["chance"], draw(seed, 0, lane, n)):
                            continue  # and makes no hit at all
                        move = trunc32(f32(draw(seed, 1, lane, n) * D))
                        human = f32(c(1.0) + f32(draw(seed, 2, lane, n) * spread))
                        at = S + (i * (S2 - S)) // len(cells)
                        graces = {"f": [G], "F": [G], "d": [G, G // 2], "D": [G, G // 2]}
                        for offset, level in [(g, GRACE_LEVEL) for g in graces.get(cell, [])] + \
                                [(0, CELL_LEVELS[cell])]:
                            kind = entry["kind"]
                            if kind == "hihat":
                                kind = OPEN if cell in "oO" and offset == 0 else CLOSED
                            lv = f32(c(level) * entry["level"])
                            if accented:
                                lv = f32(lv * c(ACCENT_FACTOR))
                            lv = f32(lv * human)
                            placed = at - offset + shift + move
                            if E == 0:
                                continue  # a song of no samples has none to place a hit on
                            placed = placed % E if loop else max(placed, 0)
                            hits[lane].append((placed, kind, entry, lv))
            s0 += p["length"]
        A += L
    for lane in hits:
        lane.sort(key=lambda h: h[0])  # stable: hits of one start keep their order in the song
    return E, lane_names, hits, song["choke"]


def beat_channels(text, channels=None, pans=None, mapping=None):
    """2 when the text says `stereo`, a line has pan= or a kind's pan is given; channels (1 for
    --mono, 2 for --stereo) decides instead when given."""
    if channels is not None:
        return channels
    song = parse_beat(text, mapping)
    panned = song["stereo"] or bool(pans) or any(
        "pan" in entry for p in song["patterns"] for entry in p["lines"])
    return 2 if panned else 1


def line_gains(entry, pans):
    """A line's pan= or its kind's position (a hihat line's, the closed hat's), through the law."""
    if "pan" in entry:
        return pan_law(entry["pan"])
    return pan_law(kind_pan(CLOSED if entry["kind"] == "hihat" else entry["kind"], pans))


def add_sound(mix, channels, pos, v, level, gains):
    """One contribution c = v x level: in mono added at pos, in stereo c x left to frame pos's
    left sample and c x right to its right."""
    x = f32(v * level)
    if channels == 1:
        mix[pos] = f32(mix[pos] + x)
    else:
        mix[2 * pos] = f32(mix[2 * pos] + f32(x * gains[0]))
        mix[2 * pos + 1] = f32(mix[2 * pos + 1] + f32(x * gains[1]))


def render_beat_stems(text, rate, tempo=None, repeat=None, loop=False, gain_db=None,
                      normalize=True, seed=None, humanize=None, choke=None, mapping=None,
                      channels=None, pans=None):
    """(mix, [(lane name, stem)]): every stem with the mix's gain and normalising factors. choke
    None follows the text; False is --no-choke. A stereo mix and its stems hold frames, left then
    right (see beat_channels); pans maps kind indices to positions, as --pan."""
    E, names, hits, text_choke = lay_out(text, rate, tempo, repeat, loop, seed, humanize, mapping)
    channels = beat_channels(text, channels, pans, mapping)
    choke = text_choke if choke is None else choke
    R = f32(float(rate))
    closed = sorted(h[0] for lane in hits for h in lane if h[1] == CLOSED)
    mix = [0.0] * (E * channels)
    stems = []
    cache = {}
    for lane in hits:
        stem = [0.0] * (E * channels)
        for h, (at, kind, entry, level) in enumerate(lane):
            _key, _key2, voice, factor, ignores, default_ring = KIND_TABLE[kind]
            f = pitch_hz(entry["pitch"])
            if factor is not None:
                f = f32(f * c(factor))
            if h + 1 < len(lane):
                gap = lane[h + 1][0] - at
            else:
                gap = E - at + (lane[0][0] if loop else 0)
            ring = default_ring if entry["ring"] is None else entry["ring"]
            n = min(gap, int(f32(R * ring)))
            if not loop:
                n = min(n, E - at)
            if choke and kind == OPEN:
                later = [x - at for x in closed if x > at]
                if loop:
                    later += [x - at + E for x in closed if x < at]
                n = min([n] + later)
            if n <= 0:
                continue
            d = f32(f32(float(n)) / R)
            key = (voice, 0.0 if ignores else f, n)
            if key not in cache:
                samples = []
                voice(R, f, d, n, samples)
                cache[key] = fade_out(samples, R)
            gains = line_gains(entry, pans)
            for i, v in enumerate(cache[key]):
                pos = at + i
                if pos >= E:
                    pos -= E
                add_sound(mix, channels, pos, v, level, gains)
                add_sound(stem, channels, pos, v, level, gains)
        stems.append(stem)
    factors = []
    if gain_db is not None:
        factors.append(f32(10.0 ** (gain_db / 20.0)))
        mix = [f32(x * factors[-1]) for x in mix]
    peak = max([abs(x) for x in mix if not math.isnan(x)], default=0.0)
    if normalize and peak > 1.0:
        factors.append(f32(1.0 / peak))
        mix = [f32(x * factors[-1]) for x in mix]
    for g in factors:
        stems = [[f32(x * g) for x in stem] for stem in stems]
    return mix, list(zip(names, stems))


def render_beat(text, rate, tempo=None, repeat=None, loop=False, gain_db=None, normalize=True,
                **expression):
    """The mix of a beat or song, by the timing, level and mixing rules, as float32 values."""
    return render_beat_stems(text, rate, tempo, repeat, loop, gain_db, normalize, **expression)[0]


# ---- MIDI files -----------------------------------------------------------------------------

GM_KEYS = {35: 0, 36: 0, 37: 1, 38: 1, 40: 1, 42: 2, 44: 2, 46: 3, 50: 4, 47: 5, 48: 5, 41: 6,
           43: 6, 45: 6, 56: 7, 39: 8, 51: 9, 53: 9, 59: 9, 49: 10, 52: 10, 55: 10, 57: 10}


def parse_midi(data):
    """(format, division, tracks): each track a list of (tick, event, fields) for note-ons, tempos
    and its end. Well-formed files only."""
    fmt, _count, division = struct.unpack(">HHH", data[8:14])
    at = 8 + struct.unpack(">I", data[4:8])[0]
    tracks = []
    while at + 8 <= len(data):
        kind, length = data[at:at + 4], struct.unpack(">I", data[at + 4:at + 8])[0]
        body, at = data[at + 8:at + 8 + length], at + 8 + length
        if kind != b"MTrk":
            continue
        events, i, tick, running = [], 0, 0, None

        def number():
            nonlocal i
            value = 0
            while True:
                value = (value << 7) | (body[i] & 0x7F)
                i += 1
                if body[i - 1] < 0x80:
                    return value
        while i < len(body):
            tick += number()
            status = body[i]
            if status >= 0x80:
                i += 1
            else:
                status = running
            if status < 0xF0:
                running = status
                size = 1 if status & 0xE0 == 0xC0 else 2
                if status & 0xF0 == 0x90 and body[i + 1] > 0:
                    events.append((tick, "note", (status & 0x0F, body[i], body[i + 1])))
                i += size
                continue
            running = None
            meta = body[i] if status == 0xFF else None
            i += status == 0xFF
            length = number()
            payload, i = body[i:i + length], i + length
            if meta == 0x51:
                events.append((tick, "tempo", int.from_bytes(payload, "big")))
            if meta == 0x2F:
                break
        events.append((tick, "end", None))
        tracks.append(events)
    return fmt, division, tracks


def midi_channels(channels=None, pans=None):
    """A MIDI file's mix is stereo with --stereo or any --pan, unless --mono."""
    return channels if channels is not None else 2 if pans else 1


def render_midi(data, rate, channel=10, mapping=None, gain_db=None, normalize=True, choke=True,
                channels=None, pans=None):
    """The mix of a MIDI file's drums, by the timing, cut-off and mixing rules, as float32 values:
    with choke, an open hi-hat also stops where the next closed hi-hat starts. In stereo (see
    midi_channels) every hit sits at its kind's position, frames left then right."""
    from fractions import Fraction
    fmt, division, tracks = parse_midi(data)
    keys = dict(GM_KEYS)
    keys.update(mapping or {})

    def tempo_map(events):
        segments = [[0, Fraction(0), 500000]]
        for tick, _, micros in sorted(events, key=lambda e: e[0]):
            if tick == segments[-1][0]:
                segments[-1][2] = micros
            else:
                segments.append([tick, seconds(segments, tick), micros])
        return segments

    def seconds(segments, tick):
        if division & 0x8000:
            frames = 256 - (division >> 8)
            per_second = Fraction(30000, 1001) if frames == 29 else frames
            return Fraction(tick) / (per_second * (division & 0xFF))
        start, at, micros = [s for s in segments if s[0] <= tick][-1]
        return at + Fraction((tick - start) * micros, division * 10**6)

    shared = tempo_map([e for t in tracks for e in t if e[1] == "tempo"])
    hits, ends, offset = [], [], Fraction(0)
    for number_, events in enumerate(tracks):
        segments = tempo_map([e for e in events if e[1] == "tempo"]) if fmt == 2 else shared
        base = offset if fmt == 2 else 0
        for position, (tick, what, fields) in enumerate(events):
            t = base + seconds(segments, tick)
            if what == "note" and fields[0] == channel - 1 and fields[1] in keys:
                hits.append((math.floor(t * rate), number_, position, keys[fields[1]], fields[2]))
            if what == "end":
                ends.append(math.floor(t * rate))
                offset = t
    hits.sort(key=lambda h: h[:3])
    R = f32(float(rate))
    E = max(ends)
    laid = []
    for kind in range(11):
        starts = [h for h in hits if h[3] == kind]
        for i, h in enumerate(starts):
            gap = starts[i + 1][0] - h[0] if i + 1 < len(starts) else 1 << 62
            n = min(gap, int(f32(R * KIND_TABLE[kind][5])))
            if choke and kind == OPEN:
                n = min([n] + [x[0] - h[0] for x in hits if x[3] == CLOSED and x[0] > h[0]])
            E = max(E, h[0] + n)
            if n > 0:
                laid.append((kind, h[0], n, f32(h[4] / 127.0)))
    channels = midi_channels(channels, pans)
    mix = [0.0] * (E * channels)
    cache = {}
    for kind, at, n, level in laid:
        _key, _key2, voice, factor, ignores, _ring = KIND_TABLE[kind]
        f = pitch_hz("C") if factor is None else f32(pitch_hz("C") * c(factor))
        if (kind, n) not in cache:
            samples = []
            voice(R, f, f32(f32(float(n)) / R), n, samples)
            cache[(kind, n)] = fade_out(samples, R)
        gains = pan_law(kind_pan(kind, pans))
        for i, v in enumerate(cache[(kind, n)]):
            add_sound(mix, channels, at + i, v, level, gains)
    if gain_db is not None:
        g = f32(10.0 ** (gain_db / 20.0))
        mix = [f32(x * g) for x in mix]
    peak = max([abs(x) for x in mix if not math.isnan(x)], default=0.0)
    if normalize and peak > 1.0:
        g = f32(1.0 / peak)
        mix = [f32(x * g) for x in mix]
    return mix
