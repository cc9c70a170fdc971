#!/usr/bin/env bash
# Wrong outcomes per 100 replays of the corpus under Wine 10, in four
# columns: the launcher's provider served as it is and slowed on purpose
# (every call answered 2 ms late, the first 100 40 ms later still, as
# uia_route_slow serves it), each without and with Chromium's habits
# (--chromium). Serves the pages of kit/pages with the simulated launcher
# and runs the tool's `find` against each, as uia_route and
# scripts/replay.sh do, drawing the pages in turn until RUNS runs a column.
# The tool's time-out is the one the corpus's runs get: the page's passes
# ("#! passes:"), each a warm find of home-en as measured in the column and
# the driver's longest wait. Each run is held to the page's one stated find
# outcome for Wine 10 (with Chromium, its "#! find chromium:" line where
# there is one) by the corpus's rule: complete, less (it ran out of time
# before the outcome, and claimed nothing false) or wrong. The pages' "#!"
# lines and the rule are read by page_outcome.exe (scripts/replay-lib.sh).
# Prints a table row a column: runs, less, wrong, wrong per 100, and the
# pages that went wrong with what they printed.
#   tests/uia_route/wrong_outcomes_bench.sh [RUNS] [COLUMN...]
# RUNS defaults to 100; COLUMN is served, served-chromium, slowed or
# slowed-chromium (default: all four).
# Meant to run under load, where verdicts changed:
#   scripts/under-load.sh tests/uia_route/wrong_outcomes_bench.sh
# It is a benchmark, not a test: ctest does not run it. The replays run in
# KV6_BENCH_LANES (default 3) of the build's Wine 10 test lanes side by
# side, each lane's display and prefix made first (scripts/lanes.sh); so
# do not run it beside ctest of the same build. Each run's output is kept
# in build/logs/wrong-outcomes/. KV6_BUILD_DIR as for scripts/replay.sh.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd -P)"
repo="$(cd "$here/../.." && pwd -P)"
. "$repo/scripts/step.sh"
# shellcheck source=scripts/replay-lib.sh
source "$repo/scripts/replay-lib.sh"
runs="${1:-100}"
shift $(($# > 0 ? 1 : 0))
columns=("$@")
[ ${#columns[@]} -gt 0 ] || columns=(served served-chromium slowed slowed-chromium)
lanes_wanted="${KV6_BENCH_LANES:-3}"
SLOWED_ARGS="--answer-late-ms 2 --cold-answers 100,40"
export KV6_BUILD_DIR="${KV6_BUILD_DIR:-build/mingw}"

# The Wine 10 lanes: display and prefix, as ctest runs them.
displays=()
prefixes=()
tests=""
while read -r kind display prefix lane_tests; do
  [ "$kind" = wine10 ] || continue
  [ "${#displays[@]}" -lt "$lanes_wanted" ] || break
  displays+=("$display")
  prefixes+=("$prefix")
  tests="${tests:+$tests|}${lane_tests//,/|}"
done < <("$repo/scripts/lanes.sh" list)
if [ "${#displays[@]}" = 0 ]; then
  echo "wrong_outcomes_bench: the build lists no Wine 10 lane (is it configured?)" >&2
  exit 1
fi
"$repo/scripts/lanes.sh" prepare -R "^($tests)\$" || exit 1

# The pages, in name order, with their passes and their one stated find
# outcome ("LINE; LINE exit N") for Wine 10 and for Chromium, as the corpus's
# runs read them.
pages=()
passes=()
wanted_wine10=()
wanted_chromium=()
for page in $(LC_ALL=C ls "$repo"/kit/pages/*.page); do
  for platform in wine10 chromium; do
    if ! statement="$(page_outcome stated find "$platform" <"$page")"; then
      echo "wrong_outcomes_bench: $page states no one find outcome for $platform: $statement" >&2
      exit 1
    fi
    if [ "$platform" = wine10 ]; then wine10="$(sed -n 2p <<<"$statement")"; else chromium="$(sed -n 2p <<<"$statement")"; fi
  done
  pages+=("$page")
  passes+=("$(sed -n '1s/^passes \([0-9]*\).*/\1/p' <<<"$statement")")
  wanted_wine10+=("$wine10")
  wanted_chromium+=("$chromium")
done

logs_root="$(kv6_log_dir)/wrong-outcomes"
rm -rf "$logs_root"
mkdir -p "$logs_root"

# One run: the page served, find run, held to WANTED. Prints "VERDICT|ROOTS|
# OUTCOME": complete, less or wrong, the launcher's root requests while the
# tool ran, and its outcome.
run_once() {
  local page="$1" timeout="$2" out="$3" wanted="$4" code lines scans verdict
  scripts/replay.sh "$page" find --timeout "$timeout" >"$out" 2>&1
  code="$(sed -n 's/^exit code \([0-9]*\)$/\1/p' "$out" | tr -d '\r')"
  if [ -z "$code" ]; then
    echo "wrong|0|(no run: $(grep -m 1 '^replay:' "$out" || echo 'the replay printed no exit code'))"
    return
  fi
  lines="$(tr -d '\r' <"$out" | sed -n '/^\$ KestrovV6-Play.exe /,/^exit code /p' | sed '1d;$d')"
  scans="$(sed -n 's/^REPLAY the launcher had \([0-9]*\) root requests .*/\1/p' "$out")"
  verdict="$(printf '%s\n%s\n' "$wanted" "$lines" | page_outcome judge "$code")"
  echo "${verdict%%:*}|${scans:-0}|$(outcome_of "$code" <<<"$lines")"
}

# What one scan of home-en costs in this column, in ms, at most: a whole
# find of it (its first look finds Play beside the profile), at the
# column's speed once the launcher's cold answers are behind it (the
# column's arguments less --cold-answers). Without Chromium's habits, whose
# late tree adds its wait. 60000 when it found no Play.
scan_cost_ms() {
  local warm per_scan ms
  warm="$(sed 's/--chromium//; s/--cold-answers [0-9,]*//' <<<"$KV6_REPLAY_LAUNCHER_ARGS")"
  if KV6_WINE10_DISPLAY="${displays[0]}" KV6_WINE10_PREFIX="${prefixes[0]}" one_scan "$warm" >"$logs/scan-cost.out" 2>&1; then
    read -r per_scan ms <"$logs/scan-cost.out"
    echo "$ms"
  else
    echo 60000
  fi
}

# Lane L does runs L, L + LANES, ...; page of run i: i mod PAGES.
lane_worker() {
  local lane="$1" i page wanted
  cd "$repo"
  export KV6_WINE10_DISPLAY="${displays[$lane]}" KV6_WINE10_PREFIX="${prefixes[$lane]}"
  for ((i = lane; i < runs; i += ${#displays[@]})); do
    page=$((i % ${#pages[@]}))
    wanted="${wanted_wine10[$page]}"
    [ "$chromium" = 0 ] || wanted="${wanted_chromium[$page]}"
    printf '%s|%s|%s\n' "$i" "$(basename "${pages[$page]}")" \
      "$(run_once "${pages[$page]}" "${timeouts[$page]}" "$logs/run-$i.out" "$wanted")" >>"$logs/lane-$lane.results"
  done
}

workers=()
stop_workers() {
  local pid
  for pid in "${workers[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${workers[@]}"; do wait "$pid" 2>/dev/null; done
  workers=()
}
trap 'stop_workers; exit 130' INT
trap 'stop_workers; exit 143' TERM
any_worker() {
  local pid
  for pid in "${workers[@]}"; do kill -0 "$pid" 2>/dev/null && return 0; done
  return 1
}

rows=()
for column in "${columns[@]}"; do
  case "$column" in
    served) launcher_args="" ;;
    served-chromium) launcher_args="--chromium" ;;
    slowed) launcher_args="$SLOWED_ARGS" ;;
    slowed-chromium) launcher_args="--chromium $SLOWED_ARGS" ;;
    *) echo "wrong_outcomes_bench: no column $column" >&2; exit 1 ;;
  esac
  chromium=0
  [[ "$column" != *chromium ]] || chromium=1
  export KV6_REPLAY_LAUNCHER_ARGS="$launcher_args"
  logs="$logs_root/$column"
  mkdir -p "$logs"
  scan_ms="$(scan_cost_ms)"
  timeouts=()
  for ((p = 0; p < ${#pages[@]}; p++)); do
    timeouts+=("$(page_outcome timeout "${passes[$p]}" "$scan_ms")")
  done

  start=$SECONDS
  echo "Column $column: $runs runs of find over ${#pages[@]} pages, in ${#displays[@]} lanes (${displays[*]}); a scan of home-en $(awk -v ms="$scan_ms" 'BEGIN { printf "%.1f", ms / 1000 }') s, so time-outs of ${timeouts[*]} s; load average $(cut -d' ' -f1-3 /proc/loadavg)"
  for ((lane = 0; lane < ${#displays[@]}; lane++)); do
    lane_worker "$lane" &
    workers+=($!)
  done
  # A line a minute, so that a long run is not silent.
  next=60
  while any_worker; do
    sleep 1
    [ $((SECONDS - start)) -ge "$next" ] || continue
    next=$((next + 60))
    echo "  $(cat "$logs"/lane-*.results 2>/dev/null | wc -l) of $runs runs after $(kv6_duration $((SECONDS - start)))"
  done
  for pid in "${workers[@]}"; do wait "$pid"; done
  workers=()

  results="$(sort -t'|' -k1,1n "$logs"/lane-*.results 2>/dev/null)"
  done_runs="$(grep -c . <<<"$results")"
  wrong_runs="$(grep -c '|wrong|' <<<"$results")"
  less_runs="$(grep -c '|less|' <<<"$results")"
  # The wrong ones by page and what they printed, with counts.
  went_wrong="$(grep '|wrong|' <<<"$results" | awk -F'|' '{ print $2 ": " $5 }' | sort | uniq -c |
    awk '{ n = $1; $1 = ""; sub(/^ /, ""); printf "%s%s (%d)", (NR > 1 ? "; " : ""), $0, n }')"
  echo "  done in $(kv6_duration $((SECONDS - start))); load average $(cut -d' ' -f1-3 /proc/loadavg); each run's output in $logs"
  for ((p = 0; p < ${#pages[@]}; p++)); do
    name="$(basename "${pages[$p]}")"
    wanted="${wanted_wine10[$p]}"
    [ "$chromium" = 0 ] || wanted="${wanted_chromium[$p]}"
    ! grep -q "|$name|wrong|" <<<"$results" || echo "  wanted for $name: $wanted"
  done
  per100="$(awk -v w="$wrong_runs" -v n="$done_runs" 'BEGIN { printf "%.1f", n ? 100 * w / n : 0 }')"
  rows+=("| $column | $(awk -v ms="$scan_ms" 'BEGIN { printf "%.1f s", ms / 1000 }') | $done_runs | $less_runs | $wrong_runs | $per100 | ${went_wrong:-none} |")
done

echo
echo "| Column | A scan of home-en | Runs | Less | Wrong | Wrong per 100 | Pages that went wrong: what they printed (times) |"
echo "|---|---|---|---|---|---|---|"
printf '%s\n' "${rows[@]}"
