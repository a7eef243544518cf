#!/usr/bin/env bash
# Builds every libFuzzer target of tests/fuzz with clang in build/fuzz (or $TARVEX_FUZZ_DIR)
# and runs each for $TARVEX_FUZZ_SECONDS (30 by default) from its seed corpus. New inputs
# go to scratch folders in the build; the committed corpus stays as it is. A crash, a leak
# or a timeout fails the run. TARVEX_FUZZ_RUNS=1000000 runs each target that many inputs
# instead (no time limit); TARVEX_FUZZ_ONLY=settings runs one target. One job each, one
# target at a time.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TARVEX_FUZZ_DIR:-$root/build/fuzz}"
seconds="${TARVEX_FUZZ_SECONDS:-30}"
runs="${TARVEX_FUZZ_RUNS:-}"
only="${TARVEX_FUZZ_ONLY:-}"
if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz.sh: clang++ is missing (scripts/setup.sh installs it)"; exit 1
fi
cmake -S "$root" -B "$build" -G "$(command -v ninja >/dev/null && echo Ninja || echo 'Unix Makefiles')" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DTARVEX_BUILD_FUZZ=ON -DTARVEX_BUILD_TESTS=OFF -DTARVEX_BUILD_BENCH=OFF
cmake --build "$build" -j"$(nproc)" --target fuzz_all
export QT_QPA_PLATFORM=offscreen
for src in "$root"/tests/fuzz/*_fuzz.cpp; do
  name=$(basename "$src" _fuzz.cpp)
  if [ -n "$only" ] && [ "$only" != "$name" ]; then continue; fi
  scratch="$build/tests/fuzz/corpus_$name"
  mkdir -p "$scratch"
  if [ -n "$runs" ]; then limit=(-runs="$runs"); echo "== fuzz_$name for $runs inputs"
  else limit=(-max_total_time="$seconds"); echo "== fuzz_$name for ${seconds} s"; fi
  log="$build/tests/fuzz/fuzz_$name.log"
  started=$(date +%s)
  if ! "$build/tests/fuzz/fuzz_$name" "${limit[@]}" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 "$scratch" "$root/tests/fuzz/corpus/$name" > "$log" 2>&1; then
    tail -40 "$log"; echo "fuzz_$name failed"; exit 1
  fi
  grep -E '^stat::number_of_executed_units' "$log" || true
  echo "   $(( $(date +%s) - started )) s"
done
