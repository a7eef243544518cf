#!/usr/bin/env bash
# Installs what is missing, builds from scratch in build/ci (or $TARVEX_BUILD_DIR) and runs
# every test through CTest on the offscreen platform.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/setup.sh"
layers="$(bash "$root/scripts/check-layers.sh")"
if [ -n "$layers" ]; then
  echo "Includes and links that break the floors:"; echo "$layers"; exit 1
fi
build="${TARVEX_BUILD_DIR:-$root/build/ci}"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" --timeout 300
