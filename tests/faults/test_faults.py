"""Every file-system call of a write, made to fail in turn, and the writer killed at every call and
at moments in between: afterwards each target holds either its earlier bytes or the complete new
file, no temporary file is left (after a kill, the next write removes it), and the command says
success only when it happened.

Usage: test_faults.py KETTORIN FAIL_IO_SO [inject|kill]
"""
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

KETTORIN, INTERPOSER = sys.argv[1], sys.argv[2]
WHAT = sys.argv[3] if len(sys.argv) > 3 else "inject"

BEAT = "tempo 150\nsteps 4\nkick x---x---x-x-x---\nsnare ----X--g----X---\nhihat x-x-x-x-x-x-x-o-\n"


def run(folder, args, **fault):
    """The command's exit status and standard error, with the interposer watching `folder`."""
    env = dict(os.environ, LD_PRELOAD=INTERPOSER, FAIL_IO_DIR=folder + "/",
               **{k: str(v) for k, v in fault.items()})
    r = subprocess.run([KETTORIN, *args], capture_output=True, text=True, env=env)
    return r.returncode, r.stderr


def contents(folder):
    return {name: open(os.path.join(folder, name), "rb").read() for name in os.listdir(folder)}


def scenarios(source, work):
    """(name, arguments, files the write makes, earlier files)."""
    out = os.path.join(work, "out.wav")
    yield ("replace", ["beat", source, "-q", "-r", "8000", "-o", out], ["out.wav"],
           {"out.wav": b"an earlier take"})
    yield ("new", ["beat", source, "-q", "-r", "8000", "-o", out], ["out.wav"], {})
    stems = ["out.wav", "out.kick.wav", "out.snare.wav", "out.hihat.wav"]
    yield ("stems", ["beat", source, "-q", "-r", "8000", "--stems", "-o", out], stems,
           {name: b"earlier " + name.encode() for name in stems})
    yield ("labels and midi", ["beat", source, "-q", "-r", "8000", "--labels",
                               os.path.join(work, "out.csv"), "--midi",
                               os.path.join(work, "out.mid"), "-o", out],
           ["out.wav", "out.csv", "out.mid"], {"out.csv": b"old labels", "out.mid": b"old"})


def check(outcome, status, stderr, before, complete):
    """What is wrong with the folder after a run, or None."""
    if status not in (0, 14):
        return f"status {status}: {stderr.strip()}"
    if status == 14 and not stderr.startswith("Error: "):
        return f"status 14 without its line: {stderr!r}"
    # Where no temporary file can be made, the target is written in place, and the command says so.
    if status == 0 and any(not line.startswith("Warning: ") for line in stderr.splitlines()):
        return f"success with {stderr!r}"
    extra = set(outcome) - set(complete) - set(before)
    if extra:
        return f"left behind: {sorted(extra)}"
    for name, data in complete.items():
        got = outcome.get(name)
        if status == 0 and got != data:
            return f"success, but {name} is not the complete new file"
        if got not in (data, before.get(name)):
            return f"{name} is neither the earlier file nor the new one ({len(got or b'')} bytes)"
    return None


def inject(source):
    tried, failures, table = 0, [], {}
    for name, args, made, earlier in scenarios(source, WORK):
        reset(earlier)
        status, stderr = run(WORK, args, FAIL_IO_LOG=LOG)
        assert status == 0, stderr
        complete = {f: data for f, data in contents(WORK).items() if f in made}
        calls = open(LOG).read().split("\n")[1].split()
        for k, call in enumerate(calls, 1):
            kinds = ["eio", "enospc", "short", "eintr"] if call == "write" else ["eio"]
            for kind in kinds:
                reset(earlier)
                status, stderr = run(WORK, args, FAIL_IO_AT=k, FAIL_IO_KIND=kind)
                tried += 1
                outcome = contents(WORK)
                wrong = check(outcome, status, stderr, earlier, complete)
                # A short write or an interrupted one is made good, never reported.
                if not wrong and kind in ("short", "eintr") and status != 0:
                    wrong = f"a {kind} write was reported: {stderr.strip()}"
                key = (call, kind, "written" if status == 0 else "refused, earlier kept")
                table[key] = table.get(key, 0) + 1
                if wrong:
                    failures.append(f"{name}: call {k} ({call}, {kind}): {wrong}")
    print(f"{tried} injections")
    for (call, kind, result), n in sorted(table.items()):
        print(f"  {call:7} {kind:7} {result:22} {n}")
    return failures


def kill(source):
    """The writer killed at 200 moments: before and after each call, then at times spread over a
    long write."""
    long_beat = os.path.join(WORK_SOURCE, "long.beat")
    with open(long_beat, "w") as f:
        f.write(BEAT + "repeat 100\n")
    out = os.path.join(WORK, "out.wav")
    args = ["beat", long_beat, "-q", "-r", "44100", "-o", out]
    earlier = {"out.wav": b"an earlier take of the long track"}
    reset(earlier)
    started = time.monotonic()
    status, stderr = run(WORK, args, FAIL_IO_LOG=LOG)
    took = time.monotonic() - started
    assert status == 0, stderr
    complete = {"out.wav": contents(WORK)["out.wav"]}
    calls = open(LOG).read().split("\n")[1].split()
    # Every call but the writes, before and after it, and writes spread over the file; then times.
    writes = [k for k, call in enumerate(calls, 1) if call == "write"]
    chosen = [k for k, call in enumerate(calls, 1) if call != "write"] + writes[::max(1, len(writes) // 40)]
    moments = [("call", k, after) for k in sorted(chosen) for after in (False, True)][:140]
    rng = random.Random(7)
    while len(moments) < 200:
        moments.append(("time", rng.uniform(0.0, took * 1.1), None))
    failures = []
    for how, at, after in moments[:200]:
        reset(earlier)
        fault = {}
        if how == "call":
            fault = {"FAIL_IO_KILL": at, **({"FAIL_IO_KILL_AFTER": 1} if after else {})}
            status, stderr = run(WORK, args, **fault)
        else:
            env = dict(os.environ, LD_PRELOAD=INTERPOSER, FAIL_IO_DIR=WORK + "/")
            p = subprocess.Popen([KETTORIN, *args], stderr=subprocess.PIPE, env=env)
            time.sleep(at)
            p.send_signal(signal.SIGKILL)
            _, err = p.communicate()
            status, stderr = p.returncode, err.decode()
        outcome = contents(WORK)
        got = outcome.get("out.wav")
        if got not in (earlier["out.wav"], complete["out.wav"]):
            failures.append(f"killed at {how} {at}{' after' if after else ''}: out.wav is "
                            f"{len(got or b'')} bytes, neither file")
        leftovers = [f for f in outcome if f != "out.wav"]
        # The next write removes what a killed writer left, and writes the file.
        status, stderr = run(WORK, args)
        if status != 0 or sorted(contents(WORK)) != ["out.wav"]:
            failures.append(f"after a kill at {how} {at}: the next write left "
                            f"{sorted(contents(WORK))} (killed one left {leftovers}): {stderr}")
    print(f"{len(moments[:200])} kills: {sum(1 for m in moments[:200] if m[0] == 'call')} before "
          f"or after one of {len(calls)} calls ({len(writes)} writes), the rest at times within "
          f"the {took:.3f} s a write takes")
    return failures


def reset(files):
    for name in os.listdir(WORK):
        os.remove(os.path.join(WORK, name))
    for name, data in files.items():
        with open(os.path.join(WORK, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    WORK = tempfile.mkdtemp()
    WORK_SOURCE = tempfile.mkdtemp()
    LOG = os.path.join(WORK_SOURCE, "calls.log")
    source = os.path.join(WORK_SOURCE, "beat.beat")
    with open(source, "w") as f:
        f.write(BEAT)
    try:
        problems = inject(source) if WHAT == "inject" else kill(source)
    finally:
        shutil.rmtree(WORK)
        shutil.rmtree(WORK_SOURCE)
    for problem in problems:
        print(problem)
    print("ok" if not problems else f"{len(problems)} failed")
    sys.exit(1 if problems else 0)
