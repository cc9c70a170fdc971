#!/usr/bin/env bash
# Wrong outcomes per 100 replays of the corpus under Wine 10. Serves the
# pages of kit/pages with the simulated launcher and runs the tool's `find`
# against each (with the page's "#! timeout:", else 15 s), as uia_route and
# scripts/replay.sh do, drawing the pages in turn until RUNS runs. A run is
# wrong when its outcome lines (FOUND..., LOGIN, NOT_SELECTED, NOTFOUND: the
# first and the whole list) and its exit code match none of the page's
# "#! find wine10:" and "#! find both:" lines: the rules of uia_route's
# check_run. Prints one table row: runs, wrong, wrong per 100,
# and the pages that went wrong with what they printed.
#   tests/uia_route/wrong_outcomes_bench.sh [RUNS]          (default 100)
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
runs="${1:-100}"
lanes_wanted="${KV6_BENCH_LANES:-3}"
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

# The pages, in name order, with their timeout and stated outcomes: every
# "#! find wine10:" and "#! find both:" line, as uia_route reads them (a page
# whose outcome may differ with the machine's speed states each).
pages=()
timeouts=()
wanted=()     # each outcome: lines joined by "; ", then " exit N"; " | " between outcomes
for page in $(LC_ALL=C ls "$repo"/kit/pages/*.page); do
  alternatives=""
  while IFS= read -r stated; do
    code="${stated##*exit }"
    outcomes=""
    IFS=';' read -r -a parts <<<"${stated% exit *}"
    for line in "${parts[@]}"; do
      line="$(sed 's/^ *//; s/ *$//' <<<"$line")"
      if [[ "$line" == "FOUND "* || "$line" =~ ^(LOGIN|NOT_SELECTED|NOTFOUND)$ ]]; then
        outcomes="${outcomes:+$outcomes; }$line"
      fi
    done
    alternatives="${alternatives:+$alternatives | }${outcomes:-(none)} exit $code"
  done < <(tr -d '\r' <"$page" | sed -n 's/^#! find \(wine10\|both\):[[:space:]]*//p')
  if [ -z "$alternatives" ]; then
    echo "wrong_outcomes_bench: $page states no find outcome for Wine 10" >&2
    exit 1
  fi
  timeout="$(tr -d '\r' <"$page" | sed -n 's/^#! timeout:[[:space:]]*\([0-9]*\).*/\1/p' | head -n 1)"
  pages+=("$page")
  timeouts+=("${timeout:-15}")
  wanted+=("$alternatives")
done

logs="$(kv6_log_dir)/wrong-outcomes"
rm -rf "$logs"
mkdir -p "$logs"

# One run: the page served, find run, "outcomes exit N" on standard output.
run_once() {
  local page="$1" timeout="$2" out="$3" outcomes="" code line reading=0
  scripts/replay.sh "$page" find --timeout "$timeout" >"$out" 2>&1
  code=""
  while IFS= read -r line; do
    line="${line%$'\r'}"
    if [ "$reading" = 0 ]; then
      [[ "$line" != '$ KestrovV6-Play.exe '* ]] || reading=1
      continue
    fi
    if [[ "$line" =~ ^exit\ code\ ([0-9]+)$ ]]; then
      code="${BASH_REMATCH[1]}"
      break
    fi
    if [[ "$line" == "FOUND "* || "$line" =~ ^(LOGIN|NOT_SELECTED|NOTFOUND)$ ]]; then
      outcomes="${outcomes:+$outcomes; }$line"
    fi
  done <"$out"
  if [ -z "$code" ]; then
    echo "(no run: $(grep -m 1 '^replay:' "$out" || echo 'the replay printed no exit code'))"
  else
    echo "${outcomes:-(none)} exit $code"
  fi
}

# Lane L does runs L, L + LANES, ...; page of run i: i mod PAGES.
lane_worker() {
  local lane="$1" i page printed verdict
  cd "$repo"
  export KV6_WINE10_DISPLAY="${displays[$lane]}" KV6_WINE10_PREFIX="${prefixes[$lane]}"
  for ((i = lane; i < runs; i += ${#displays[@]})); do
    page=$((i % ${#pages[@]}))
    printed="$(run_once "${pages[$page]}" "${timeouts[$page]}" "$logs/run-$i.out")"
    verdict=right
    [[ " | ${wanted[$page]} | " == *" | $printed | "* ]] || verdict=wrong
    printf '%s|%s|%s|%s\n' "$i" "$(basename "${pages[$page]}")" "$verdict" "$printed" >>"$logs/lane-$lane.results"
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

start=$SECONDS
echo "Replaying the corpus under Wine 10: $runs runs of find over ${#pages[@]} pages, in ${#displays[@]} lanes (${displays[*]}); load average $(cut -d' ' -f1-3 /proc/loadavg)"
for ((lane = 0; lane < ${#displays[@]}; lane++)); do
  lane_worker "$lane" &
  workers+=($!)
done
any_worker() {
  local pid
  for pid in "${workers[@]}"; do kill -0 "$pid" 2>/dev/null && return 0; done
  return 1
}
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
# The wrong ones by page and what they printed, with counts.
went_wrong="$(grep '|wrong|' <<<"$results" | awk -F'|' '{ print $2 ": " $4 }' | sort | uniq -c |
  awk '{ n = $1; $1 = ""; sub(/^ /, ""); printf "%s%s (%d)", (NR > 1 ? "; " : ""), $0, n }')"
echo "Done in $(kv6_duration $((SECONDS - start))); load average $(cut -d' ' -f1-3 /proc/loadavg); each run's output in $logs"
if [ "$wrong_runs" -gt 0 ]; then
  echo "Wanted, for the pages that went wrong:"
  for ((p = 0; p < ${#pages[@]}; p++)); do
    name="$(basename "${pages[$p]}")"
    grep -q "|$name|wrong|" <<<"$results" && echo "  $name: ${wanted[$p]}"
  done
fi
echo
echo "| Runs | Wrong | Wrong per 100 | Pages that went wrong: what they printed (times) |"
echo "|---|---|---|---|"
per100="$(awk -v w="$wrong_runs" -v n="$done_runs" 'BEGIN { printf "%.1f", n ? 100 * w / n : 0 }')"
echo "| $done_runs | $wrong_runs | $per100 | ${went_wrong:-none} |"
