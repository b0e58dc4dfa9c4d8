"""A path the ANSI code page cannot hold is written exactly where the caller asked.

The report shows the path in the code page (where the Greek letter may become '?'), but the file
is opened by its UTF-16 name, so it lands under its own name and never on a look-alike.
Usage: windows_paths.py "WINE... win_host.exe"
"""
import os
import shlex
import subprocess
import sys
import tempfile

host = shlex.split(sys.argv[1])
folder = tempfile.mkdtemp(prefix="kettorin-paths-")
name = "drum-\u03a9-\u6253.wav"  # Greek omega and a CJK character: outside code page 1252
lookalike = os.path.join(folder, "drum-?-?.wav")
open(lookalike, "wb").write(b"someone else's file")
listing = os.path.join(folder, "list.txt")
with open(listing, "w", encoding="utf-8") as f:
    f.write("snare\tC D\t8000\t120\tZ:" + os.path.join(folder, name).replace("/", "\\") + "\n")
run = subprocess.run([*host, "batch", "Z:" + listing.replace("/", "\\")], capture_output=True)
print(run.stdout.decode("latin-1"), run.stderr.decode("latin-1"))
ok = (run.returncode == 0 and b"status 999" in run.stderr
      and os.path.getsize(os.path.join(folder, name)) == 44 + 2 * 2000
      and open(lookalike, "rb").read() == b"someone else's file")
subprocess.run(["rm", "-rf", folder])
print("1 passed, 0 failed" if ok else "0 passed, 1 failed")
sys.exit(0 if ok else 1)
