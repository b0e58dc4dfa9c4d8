#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when they are missing.
# Usage: scripts/deps.sh [PACKAGE...]   (extra packages beyond the base set)
set -euo pipefail

base=(cmake ninja-build g++ clang libclang-rt-14-dev pkg-config libgtest-dev python3 sox
  libsndfile1-dev libbenchmark-dev libsleef-dev libcli11-dev)
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
