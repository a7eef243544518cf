#!/usr/bin/env bash
# Builds the Debian package tarvex_<version>_<arch>.deb and prints its path.
# A new build folder (build/package, or $TARVEX_BUILD_DIR) is made without tests and
# benchmarks; an existing one (CI passes build/ci) is packaged as it is configured.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
# Everything but the path goes to stderr, so `deb="$(scripts/package.sh)"` works.
bash "$root/scripts/setup.sh" >&2
build="${TARVEX_BUILD_DIR:-$root/build/package}"
if [ ! -f "$build/CMakeCache.txt" ]; then
  launcher=()
  if command -v ccache >/dev/null 2>&1; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  fi
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTARVEX_BUILD_TESTS=OFF -DTARVEX_BUILD_BENCH=OFF "${launcher[@]}" >&2
fi
# An older version's package must not be taken for this one.
rm -f "$build"/tarvex_*.deb
cmake --build "$build" -j"$(nproc)" --target package >&2
debs=("$build"/tarvex_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
  echo "package.sh: expected one tarvex_*.deb in $build" >&2; exit 1
fi
echo "${debs[0]}"
