#!/usr/bin/env bash
# Installs the Python package into a fresh virtual environment without the network, as the README
# says, and runs the plotting example with it. Exits 77 (skipped) where Debian's venv module is
# missing.
# Usage: venv_install.sh PYTHON LIBRARY SOURCE_DIR
set -euo pipefail
python="$1"
library="$2"
source="$3"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if ! "$python" -c "import ensurepip, venv" 2>/dev/null; then
  echo "skipped: $python has no venv module (Debian: apt-get install python3-venv)"
  exit 77
fi
"$python" -m venv --system-site-packages "$work/v"
# A copy, so that the build leaves nothing in the source tree.
cp -r "$source/python" "$work/package"
"$work/v/bin/pip" install -q --no-index --no-build-isolation "$work/package"

# The installed package, run from elsewhere: the library named by the environment variable.
cd "$work"
"$work/v/bin/python" -c "import kettorin, sys; sys.exit(kettorin.__file__.startswith('$work/v/') != True)"
KETTORIN_LIBRARY="$library" MPLBACKEND=Agg "$work/v/bin/python" "$source/examples/beat_plot.py" \
  "$source/examples/groove.beat" "$work/groove.png"
test -s "$work/groove.png"
# A library named but not there is an error that says so (and no other is loaded instead).
KETTORIN_LIBRARY="$work/none.so" "$work/v/bin/python" - >"$work/err" 2>&1 <<'PY' || true
import kettorin
try:
    kettorin.drums()
except kettorin.LibraryNotFound as failure:
    print(failure)
PY
grep -q "none.so (no such file)" "$work/err" || { cat "$work/err"; exit 1; }
echo "1 passed, 0 failed"
