"""The DLL exports exactly one name, KettorinCompose.  Usage: check_exports.py OBJDUMP DLL"""
import re
import subprocess
import sys

dump = subprocess.run([sys.argv[1], "-p", sys.argv[2]], capture_output=True, text=True,
                      check=True).stdout
table = dump.split("[Ordinal/Name Pointer] Table", 1)
names = re.findall(r"^\s*\[\s*\d+\]\s+(\S+)\s*$", table[1], re.M) if len(table) == 2 else []
print("exports:", names)
sys.exit(0 if names == ["KettorinCompose"] else 1)
