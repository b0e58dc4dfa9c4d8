#!/usr/bin/env bash
# Installs the Debian packages a build needs, when they are missing.
# Usage: scripts/deps.sh [--tests] [PACKAGE...]
#   without --tests: what building the library and the command needs, and nothing else;
#   --tests: also the test and benchmark libraries and tools; PACKAGE...: any more.
set -euo pipefail

base=(cmake ninja-build g++ pkg-config libcli11-dev)
if [ "${1:-}" = "--tests" ]; then
  shift
  base+=(clang libclang-rt-14-dev libgtest-dev python3 sox libsndfile1-dev libbenchmark-dev
    libsleef-dev)
fi
missing=()
for package in "${base[@]}" "$@"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
