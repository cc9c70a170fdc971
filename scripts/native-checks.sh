#!/usr/bin/env bash
# Builds the pure pixel-vision code natively with the address and
# undefined-behaviour sanitizers and runs its checks on generated pictures.
#   scripts/native-checks.sh [BUILD_DIR]     (default build/native)
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/native}"

cmake -S "$root/tests/native" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=g++ >/dev/null
cmake --build "$build" -j2 --target vision_native_checks
# Any sanitizer report ends the run with a failure.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:halt_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
"$build/vision_native_checks" --gtest_brief=1
