"""The DLL exports exactly the names its .def file lists.  Usage: check_exports.py OBJDUMP DLL DEF"""
import re
import subprocess
import sys

dump = subprocess.run([sys.argv[1], "-p", sys.argv[2]], capture_output=True, text=True,
                      check=True).stdout
table = dump.split("[Ordinal/Name Pointer] Table", 1)
names = re.findall(r"^\s*\[\s*\d+\]\s+(\S+)\s*$", table[1], re.M) if len(table) == 2 else []
definition = open(sys.argv[3]).read().split("EXPORTS", 1)[1].split()
print("exports:", names, "listed:", definition)
sys.exit(0 if sorted(names) == sorted(definition) else 1)
