#!/usr/bin/env bash
# Installs what is missing, builds and starts the station; arguments go to the station.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/setup.sh"
build="${TARVEX_BUILD_DIR:-$root/build/run}"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVEX_BUILD_TESTS=OFF -DTARVEX_BUILD_BENCH=OFF
# tarvex-cli too: the rehearsal quick start in the README uses it from this build.
cmake --build "$build" -j"$(nproc)" --target tarvex tarvex-cli
exec "$build/src/tarvex" "$@"
