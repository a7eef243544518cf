#!/usr/bin/env bash
# The README's screenshots: records a rehearsal jump with tarvex-cli, builds its grid, then
# shows the station's screens on the offscreen platform (temporary folders, the rehearsal
# camera, scripted answers) and saves main, config, grid-setup, measure, review and capture
# PNGs into docs/ (or the folder given). A screen this build does not have is skipped with
# a note. Uses build/ (or $TARVEX_BUILD_DIR), configured with the tests on.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$(realpath -m "${1:-$root/docs}")"
build="${TARVEX_BUILD_DIR:-$root/build}"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" -j2 --target tarvex-cli tarvex_screenshots
cli="$build/src/cli/tarvex-cli"

work="$(mktemp -d "${TMPDIR:-/tmp}/tarvex-rehearsal.XXXXXX")"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/videos" "$work/grids" "$work/program" "$work/txio"
export TARVEX_HOME="$work/program" TARVEX_TXIO="$work/txio"
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"

video="$work/videos/Annjump1.avi"
"$cli" record "$video" --device "Tarvex Rehearsal Camera" --seconds 3
"$cli" rehearsal-grid "$work/videos/Annjump1.truth.json" --out "$work/grids/rehearsal.ipt"
contact="$(sed -n 's/^ *"contactFrame": *\([0-9]*\).*/\1/p' "$work/videos/Annjump1.truth.json")"
# The frame the operator would pick on the review screen, where the station keeps it.
"$cli" frame "$video" "$contact" --out "$work/program/currentcapture.bmp"

QT_QPA_PLATFORM=offscreen "$build/tests/tarvex_screenshots" \
  --work "$work" --video "$video" --grid "$work/grids/rehearsal.ipt" --out "$out"
