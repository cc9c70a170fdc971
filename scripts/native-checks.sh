#!/usr/bin/env bash
# Builds the pure pixel-vision code and the kit's readers of players' files
# (the page reader, the picture reader) natively with the address and
# undefined-behaviour sanitizers, runs the vision checks on generated
# pictures and a short fuzz of each reader (seed 1, a fixed number of inputs,
# so that it covers the same inputs on every machine, however slow).
#   scripts/native-checks.sh [BUILD_DIR]          (default build/native)
#   scripts/native-checks.sh --long-fuzz [page|picture] [SEED [INPUTS]]
#       the README's fuzz figures: both readers (or the one named), seed 1,
#       1,000,000 inputs each
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
long=0
if [ "${1:-}" = "--long-fuzz" ]; then
  long=1
  which=both
  if [ "${2:-}" = page ] || [ "${2:-}" = picture ]; then
    which="$2"
    shift
  fi
  seed="${2:-1}"
  inputs="${3:-1000000}"
  set --
fi
build="${1:-$root/build/native}"

cmake -S "$root/tests/native" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=g++ >/dev/null
# Any sanitizer report ends the run with a failure; the fuzz saves the input
# that caused it on the abort.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:halt_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:abort_on_error=1"
# The fuzz's seeds: the corpus and players' dumps. `--only I` replays input I
# with the same seed files. A smaller quarantine keeps its many short-lived
# buffers in memory already mapped: about 1.5 times the inputs a second.
fuzz_asan="$ASAN_OPTIONS:quarantine_size_mb=16"
seeds=("$root"/kit/pages/*.page "$root"/tests/kit/replay/*.page "$root"/tests/soak/pages/*.page)

if [ "$long" = 1 ]; then
  cmake --build "$build" -j2 --target page_fuzz picture_fuzz
  if [ "$which" != picture ]; then
    ASAN_OPTIONS="$fuzz_asan" "$build/page_fuzz" --seed "$seed" --inputs "$inputs" --save "$build/page-fuzz-failure.page" "${seeds[@]}"
  fi
  if [ "$which" != page ]; then
    ASAN_OPTIONS="$fuzz_asan" "$build/picture_fuzz" --seed "$seed" --inputs "$inputs" --save "$build/picture-fuzz-failure.bmp" \
      --scratch "$build/picture-fuzz-scratch.bmp"
  fi
  exit 0
fi
cmake --build "$build" -j2 --target vision_native_checks page_fuzz picture_fuzz
"$build/vision_native_checks" --gtest_brief=1
# The short fuzz: about 5 s and 3 s on a loaded 2-core machine.
short_page_inputs=2500
short_picture_inputs=75000
ASAN_OPTIONS="$fuzz_asan" "$build/page_fuzz" --seed 1 --inputs "$short_page_inputs" --save "$build/page-fuzz-failure.page" "${seeds[@]}"
ASAN_OPTIONS="$fuzz_asan" "$build/picture_fuzz" --seed 1 --inputs "$short_picture_inputs" --save "$build/picture-fuzz-failure.bmp" \
  --scratch "$build/picture-fuzz-scratch.bmp"
