"""Random song texts, as a person writes them: directives, `pattern NAME` sections with their own
tempo, steps and swing, drum lines by kind, tab, hihat and key names with their settings, grids
of every cell with brackets, bars and blanks, accent lines, and `play` lines with counts and
nested groups; comments, count lines, tabs, CRLF and a byte-order mark now and then.

Every text is one the reader accepts. The sizes are kept small (a few patterns of at most 16
steps, few plays) so that the second implementation renders one in a moment at a low rate.

    song(rng) -> text
"""
import random

KIND_NAMES = ["kick", "snare", "hihat_close", "hihatc", "hihat_open", "hihato", "high_tom", "tom",
              "mid_tom", "low_tom", "cowbell", "clap", "ride", "crash", "Kickdrum", "snare2",
              "tomtom", "CRASH_cymbal", "ride.bell", "hihatc-tight", "clap!"]
TAB_NAMES = ["bd", "b", "k", "sd", "sn", "s", "ch", "oh", "hf", "fh", "t", "t1", "ht", "t2", "mt",
             "t3", "ft", "lt", "f", "cb", "cp", "r", "rc", "rd", "c", "cc", "cr"]
HIHAT_NAMES = ["hihat", "hh", "HH", "HiHat"]
ACCENT_NAMES = ["accent", "ac", "AC", "Accent"]
KEYS = [35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 55, 56, 57, 59]
CELLS = "xoXOg123456789fFdD?-.--.."
NAME_CHARS = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-."
PATTERN_NAMES = ["a", "b", "intro", "verse", "chorus", "fill", "outro", "B2", "groove_1",
                 "pre-chorus", "v.2", "x", "play", "tempo", "kick"]
# Each decimal setting's range in thousandths.
RANGES = {"ring": (1, 60000), "level": (0, 4000), "flam": (1, 100), "chance": (0, 1000),
          "shift": (-50000, 50000), "pan": (-1000, 1000)}
NOISE = ["", "# a comment", "1 e + a 2 e + a", "1   2   3   4", "  ", "1 + 2 + | 3 & 4 .", "#"]


def one_in(rng, n):
    return rng.randrange(n) == 0


def blank(rng):
    return "\t" if one_in(rng, 8) else "  " if one_in(rng, 8) else " "


def decimal(rng, thousandths):
    """thousandths / 1000 written in one of the forms a person might: with an exponent, without a
    leading zero or a fraction, with a sign."""
    sign = "-" if thousandths < 0 else "+" if one_in(rng, 6) else ""
    t = abs(thousandths)
    form = rng.randrange(5)
    if form == 0:
        text = f"{t}e-3"
    elif form == 1:
        text = f"{t // 1000}.{t % 1000:03d}"
    elif form == 2:
        text = str(t // 1000) if t % 1000 == 0 else f"{t // 1000 if t >= 1000 else ''}.{t % 1000:03d}"
    elif form == 3:
        text = f"{t // 1000}.{t % 1000:03d}E0"
    else:
        text = f"0.{t:04d}e1" if t < 10000 else f"{t // 1000}.{t % 1000:03d}"
    return sign + text


def setting(rng, key):
    if key == "pitch":
        return "pitch=" + rng.choice("ABCDEFG") + (rng.choice("#b") if one_in(rng, 3) else "")
    lo, hi = RANGES[key]
    t = rng.choice((lo, hi)) if one_in(rng, 4) else rng.randint(lo, hi)
    return f"{key}={decimal(rng, t)}"


def grid(rng, steps, brackets):
    out = "|" if one_in(rng, 4) else ""
    for s in range(steps):
        if s > 0 and one_in(rng, 5):
            out += "|"
        if s > 0 and one_in(rng, 10):
            out += blank(rng)
        if brackets and one_in(rng, 6):
            n = rng.randint(1, 16) if one_in(rng, 4) else rng.randint(1, 4)
            out += "[" + "".join(rng.choice(CELLS) for _ in range(n)) + "]"
        else:
            out += rng.choice(CELLS)
    return out + ("|" if one_in(rng, 4) else "")


def drum_name(rng):
    kind = rng.randrange(5)
    if kind == 0:
        name = rng.choice(TAB_NAMES)
    elif kind == 1:
        name = rng.choice(HIHAT_NAMES)
    elif kind == 2:
        name = str(rng.choice(KEYS))
    else:
        name = rng.choice(KIND_NAMES)
    if one_in(rng, 4):
        name = "".join(ch.upper() if ch.islower() and one_in(rng, 2) else ch for ch in name)
    return name


def drum_line(rng, steps):
    keys = [k for k in ("pitch", "ring", "level", "flam", "chance", "shift", "pan")
            if one_in(rng, 5)]
    rng.shuffle(keys)
    line = drum_name(rng)
    for key in keys:
        line += blank(rng) + setting(rng, key)
    cells = grid(rng, steps, True)
    glued = not keys and one_in(rng, 4)
    return line + ("|" if glued else blank(rng)) + cells


def directive(rng, name):
    if name == "tempo":
        value = rng.randint(1, 999) if one_in(rng, 8) else rng.randint(60, 300)
    elif name == "steps":
        value = rng.randint(1, 64) if one_in(rng, 6) else rng.choice((1, 2, 3, 4, 6, 8))
    elif name == "swing":
        value = rng.randint(50, 75)
    elif name == "repeat":
        value = rng.randint(1, 2)
    elif name == "seed":
        value = ("00" if one_in(rng, 8) else "") + str(rng.randrange(2**32))
    elif name == "humanize":
        value = f"{rng.randint(0, 100)}{blank(rng)}{rng.randint(0, 100)}"
    elif name == "choke":
        value = rng.choice(("on", "off"))
    else:
        return name
    return f"{name}{blank(rng)}{value}"


def items(rng, names, depth, budget):
    """Play items: names and groups (never empty, at most 8 deep), with counts now and then."""
    out = ""
    for _ in range(rng.randint(1, 3)):
        if budget[0] <= 0:
            break
        budget[0] -= 1
        group = depth < 8 and budget[0] > 0 and one_in(rng, 4)
        if out and (not (group or out.endswith(")")) or not one_in(rng, 4)):
            out += blank(rng)
        if group:
            out += "(" + (" " if one_in(rng, 6) else "") + items(rng, names, depth + 1, budget) + ")"
        else:
            out += rng.choice(names)
        if one_in(rng, 3):
            out += "*" + str(rng.randint(1, 3))
    return out


def pattern_name(rng, used):
    while True:
        if one_in(rng, 4):
            name = "".join(rng.choice(NAME_CHARS) for _ in range(rng.randint(1, 32)))
        else:
            name = rng.choice(PATTERN_NAMES)
        if name in used:
            name = (name + str(len(used)))[-32:]
        if name not in used:
            used.add(name)
            return name


def song(rng):
    """A text the reader accepts: a song of 1 to 3 patterns, or (one time in four) a plain grid."""
    is_song = not one_in(rng, 4)
    count = rng.randint(1, 3) if is_song else 1
    used = set()
    names = [pattern_name(rng, used) for _ in range(count)]
    lines = []

    def line(text):
        if one_in(rng, 10):
            lines.append(rng.choice(NOISE))
        if one_in(rng, 10):
            text = blank(rng) + text
        if one_in(rng, 10):
            text += blank(rng) + "# " + str(rng.randrange(100))
        lines.append(text)

    # The song's own settings: tempo, steps and swing before the first pattern; the rest and the
    # play lines before it or after any pattern's lines.
    wide = [(rng.randint(0, count), name) for name in ("seed", "humanize", "choke", "stereo",
                                                       "repeat") if one_in(rng, 3)]
    if is_song:
        wide += [(rng.randint(0, count), "play") for _ in range(rng.randrange(3))]
    for name in ("tempo", "steps", "swing"):
        if one_in(rng, 2):
            line(directive(rng, name))
    for p in range(count + 1):
        for after, name in wide:
            if after != p:
                continue
            if name == "play":
                line("play" + blank(rng) + items(rng, names, 0, [6]))
            else:
                line(directive(rng, name))
        if p == count:
            break
        if is_song:
            line("pattern" + blank(rng) + names[p])
        body = [name for name in ("tempo", "steps", "swing") if is_song and one_in(rng, 3)]
        body += ["drum"] * rng.randint(1, 4) + (["accent"] if one_in(rng, 4) else [])
        rng.shuffle(body)
        steps = rng.randint(1, 32) if one_in(rng, 8) else rng.randint(1, 16)
        for item in body:
            if item == "drum":
                line(drum_line(rng, steps))
            elif item == "accent":
                line(rng.choice(ACCENT_NAMES) + blank(rng) + grid(rng, steps, False))
            else:
                line(directive(rng, item))
    end = "\r\n" if one_in(rng, 8) else "\n"
    text = end.join(lines) + (end if one_in(rng, 3) else "")
    return ("\ufeff" if one_in(rng, 16) else "") + text


if __name__ == "__main__":
    import sys
    print(song(random.Random(int(sys.argv[1]) if len(sys.argv) > 1 else None)))
