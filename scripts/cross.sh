#!/usr/bin/env bash
# Cross builds, run where they can be: the Windows DLL under Wine, 32-bit ARM under qemu-arm.
# Each compares its output with the native build's, byte for byte.
# Usage: scripts/cross.sh [windows] [arm]   (default: both)
set -euo pipefail
cd "$(dirname "$0")/.."
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(windows arm)

scripts/deps.sh --tests mingw-w64 wine64 qemu-user gcc-arm-linux-gnueabi g++-arm-linux-gnueabi
cmake --preset release >/dev/null
cmake --build build --target kettorin
native="$PWD/build/kettorin"

for target in "${targets[@]}"; do
  case "$target" in
    windows) toolchain=mingw-w64-x86_64 ;;
    arm) toolchain=arm-linux-gnueabi ;;
    *) echo "unknown target '$target' (windows or arm)" >&2; exit 2 ;;
  esac
  printf '\n== %s\n' "$target"
  cmake -S . -B "build-$target" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="cmake/toolchains/$toolchain.cmake" \
    -DKETTORIN_GTEST_FROM_SOURCE=ON -DKETTORIN_NATIVE_KETTORIN="$native" >/dev/null
  cmake --build "build-$target"
  if [ "$target" = windows ]; then
    # A prefix of our own, and one persistent wineserver so each program starts in a blink.
    export WINEPREFIX="${WINEPREFIX:-$PWD/build-windows/wineprefix}"
    export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    mkdir -p "$WINEPREFIX"
    (/usr/lib/wine/wineserver64 -p </dev/null >/dev/null 2>&1 &)
    trap '/usr/lib/wine/wineserver64 -k >/dev/null 2>&1 || true' EXIT
    # Makes the prefix on first use (about ten seconds).
    timeout 300 /usr/lib/wine/wine64 wineboot --init </dev/null >/dev/null 2>&1 || true
  fi
  # Every float bit pattern through the converter takes seconds natively and under Wine, but
  # hours under qemu: the ARM build leaves that one long test to the others.
  skip=()
  [ "$target" = arm ] && skip=(-LE 'long|differential')
  ctest --test-dir "build-$target" --output-on-failure --timeout 600 -j"$(nproc)" "${skip[@]}" \
    </dev/null
done
