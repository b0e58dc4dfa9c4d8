#!/usr/bin/env bash
# Installs the build into a temporary prefix, then builds the C example against it twice, through
# find_package and through pkg-config, and runs both.
# Usage: test_install.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build="$1"
source="$2"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"

cmake --install "$build" --prefix "$prefix" >/dev/null
lib=$(dirname "$(find "$prefix" -name 'libTarneloKettorin.so.1.1.0.0')")
test -L "$lib/libTarneloKettorin.so.1" && test -L "$lib/libTarneloKettorin.so"
test -f "$prefix/include/kettorin.h" && test -x "$prefix/bin/kettorin"
test -f "$prefix/share/man/man1/kettorin.1"
objdump -p "$lib/libTarneloKettorin.so.1.1.0.0" | grep -q 'SONAME *libTarneloKettorin.so.1'
# Exactly the functions the version script lists are exported.
exported=$(nm -D --defined-only "$lib/libTarneloKettorin.so.1.1.0.0" | awk '$2 == "T" {print $3}' | sort)
listed=$(sed -n 's/.*global:\(.*\)/\1/p' "$source/platform/exports.map" | tr ';' '\n' | tr -d ' ' | grep . | sort)
[ "$exported" = "$listed" ] || { echo "exports: $exported; listed: $listed"; exit 1; }

# find_package
cmake -S "$source/tests/install" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$prefix" \
  -DEXAMPLES_DIR="$source/examples" >/dev/null
cmake --build "$work/consumer" >/dev/null
"$work/consumer/compose" "$work/cmake.wav" >/dev/null

# pkg-config
export PKG_CONFIG_PATH="$lib/pkgconfig"
cc "$source/examples/compose.c" $(pkg-config --cflags --libs TarneloKettorin) -o "$work/pc"
LD_LIBRARY_PATH="$lib" "$work/pc" "$work/pc.wav" >/dev/null

cmp "$work/cmake.wav" "$work/pc.wav"
LD_LIBRARY_PATH="$lib" "$prefix/bin/kettorin" --version
echo "1 passed, 0 failed"
