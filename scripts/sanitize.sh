#!/usr/bin/env bash
# Builds the whole project and its tests with AddressSanitizer and UndefinedBehaviorSanitizer
# (clang where installed, else gcc) in build/asan (or $TARVEX_ASAN_DIR) and runs every test.
# Any report fails the run.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TARVEX_ASAN_DIR:-$root/build/asan}"
cc=gcc; cxx=g++
if command -v clang++ >/dev/null 2>&1; then cc=clang; cxx=clang++; fi
flags="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S "$root" -B "$build" -G "$(command -v ninja >/dev/null && echo Ninja || echo 'Unix Makefiles')" \
  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" -DTARVEX_BUILD_BENCH=OFF
cmake --build "$build" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="abort_on_error=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" --timeout 600
