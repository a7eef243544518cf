#!/usr/bin/env bash
# Installs what is missing, builds and starts the station; arguments go to the station.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/setup.sh"
build="${TARVEX_BUILD_DIR:-$root/build/run}"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVEX_BUILD_TESTS=OFF -DTARVEX_BUILD_BENCH=OFF
cmake --build "$build" -j"$(nproc)" --target tarvex
exec "$build/src/tarvex" "$@"
