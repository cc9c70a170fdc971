#!/usr/bin/env bash
# The native checks, with no Wine: the pure pixel-vision code built with g++
# under the address and undefined-behaviour sanitizers and run on generated
# pictures; then the libFuzzer targets (tests/native/fuzz, clang 14: every
# reader of bytes that the tool or the kit did not write), each run over its
# seeds (tests/native/corpus/TARGET) for a fixed number of inputs, seed 1, so
# that every machine runs the same inputs, however slow.
#   scripts/native-checks.sh [BUILD_DIR]       (default build/native; the targets in BUILD_DIR-fuzz)
#   scripts/native-checks.sh --long-fuzz [TARGET] [SECONDS]
#       each target (or the one named) for SECONDS (default 240), its corpus
#       kept in BUILD_DIR-fuzz/long/TARGET from one long run to the next
# Targets: page picture diagnosis names command_line. A crash, a sanitizer
# report or a broken rule ends the run red and leaves the input in
# BUILD_DIR-fuzz/artifacts/TARGET-crash-SHA1. Replay it with
# `BUILD_DIR-fuzz/TARGET_fuzz FILE`; minimise it with
# `BUILD_DIR-fuzz/TARGET_fuzz -minimize_crash=1 -runs=100000 -exact_artifact_path=FILE.min FILE`,
# then mend the reader and put the input in its corpus folder.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
targets=(page picture diagnosis names command_line)
# The short run's inputs per target: each a few seconds on a loaded 2-core machine.
declare -A short_runs=([page]=1500 [picture]=75000 [diagnosis]=15000 [names]=15000 [command_line]=25000)
long=0
if [ "${1:-}" = "--long-fuzz" ]; then
  long=1
  seconds=240
  if [ -n "${2:-}" ] && [ -n "${short_runs[$2]:-}" ]; then
    targets=("$2")
    shift
  fi
  [ -z "${2:-}" ] || seconds="$2"
  if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: scripts/native-checks.sh --long-fuzz [page|picture|diagnosis|names|command_line] [SECONDS]" >&2
    exit 64
  fi
  set --
fi
build="${1:-$root/build/native}"
fuzz_build="$build-fuzz"

# Any sanitizer report ends the input's run with a failure; libFuzzer saves it.
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export ASAN_OPTIONS="detect_leaks=1:quarantine_size_mb=16"
symbolizer="$(command -v llvm-symbolizer-14 || true)"
[ -z "$symbolizer" ] || export ASAN_SYMBOLIZER_PATH="$symbolizer"

cmake -S "$root/tests/native/fuzz" -B "$fuzz_build" -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
if [ "$long" = 0 ]; then
  cmake -S "$root/tests/native" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=g++ >/dev/null
  cmake --build "$build" -j2 --target vision_native_checks
  "$build/vision_native_checks" --gtest_brief=1
fi
cmake --build "$fuzz_build" -j2 --target "${targets[@]/%/_fuzz}"

# Runs TARGET with libFuzzer's OPTIONS over the corpus folder CORPUS (new
# inputs go there) and the tree's seeds; prints the run's last line, or the
# end of its log when it failed.
fuzz() {
  local target="$1" corpus="$2" log="$fuzz_build/logs/$1.log"
  shift 2
  mkdir -p "$corpus" "$fuzz_build/artifacts" "$fuzz_build/logs"
  local start="$EPOCHREALTIME"
  if "$fuzz_build/${target}_fuzz" "$@" -seed=1 -max_len=8192 -artifact_prefix="$fuzz_build/artifacts/$target-" \
    "$corpus" "$root/tests/native/corpus/$target" >"$log" 2>&1; then
    echo "$target fuzz: $(grep -a -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1 | tr -s '\t ' ' ')," \
      "$(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }') s"
  else
    tail -n 40 "$log" >&2
    echo "$target fuzz: FAILED, the input is in $fuzz_build/artifacts (log: $log)" >&2
    return 1
  fi
}

status=0
for target in "${targets[@]}"; do
  if [ "$long" = 1 ]; then
    fuzz "$target" "$fuzz_build/long/$target" -max_total_time="$seconds" -print_final_stats=1 || status=1
  else
    # From the seeds alone each time: the same inputs on every machine.
    rm -rf "$fuzz_build/short/$target" "$fuzz_build/artifacts/$target-"*
    fuzz "$target" "$fuzz_build/short/$target" -runs="${short_runs[$target]}" || status=1
  fi
done
exit $status
