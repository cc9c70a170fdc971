#!/usr/bin/env bash
# The test lanes' displays and Wine prefixes, as ctest runs them: the list
# comes from ctest itself (its tests' commands and ENVIRONMENT, read by
# scripts/test-lanes.cmake), so tests/CMakeLists.txt is the one place that
# says which test runs where. A test with no lane uses the tools' default
# display and prefix (KV6_DISPLAY, KV6_WINEPREFIX, ... as set here, else
# :87 and ~/.cache/kestrov-wine).
#   scripts/lanes.sh list    [CTEST ARGS...]   KIND DISPLAY PREFIX TESTS, one a line
#   scripts/lanes.sh prepare [CTEST ARGS...]   make every missing prefix, start every display
#   scripts/lanes.sh stop    [CTEST ARGS...]   end the lanes' Wine servers and displays
#   scripts/lanes.sh prepare-one KIND DISPLAY PREFIX
#                                              make one prefix outside ctest's list
#                                              (the replay's at a player's DPI)
# CTEST ARGS pick tests as ctest does (-R REGEX, -E REGEX, -L LABEL); none:
# all. --default instead of them: the tools' default display and prefix of
# each Wine (what scripts/main-job.sh uses).
# A Wine 10 lane whose tests set KV6_WINE10_DPI (kind wine10@DPI) gets its
# prefix set to that DPI (LogPixels in both of the keys Windows reads, then a
# new wineserver), once: .kestrov-dpi in the prefix says which it has.
# prepare makes the prefixes before any test runs, so that making one never
# loads the machine under a running test: a new Wine 8 prefix takes 10 to
# 20 s, a Wine 10 one 20 to 40 s, KV6_PREPARE_JOBS (default 2) at a time. It
# is one step that says what it does and costs (scripts/step.sh); each
# lane's output is in build/logs/lanes/. Quick when all is there.
# KV6_BUILD_DIR: the build whose ctest list is read (default build/mingw).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd -P)"
repo="$(cd "$here/.." && pwd -P)"
. "$here/step.sh"

build="${KV6_BUILD_DIR:-build/mingw}"
case "$build" in /*) ;; *) build="$repo/$build" ;; esac
cache="${KV6_CACHE:-${HOME:-/root}/.cache}"
root="${KV6_WINE10_ROOT:-$cache/kestrov-trixie}"
default8_display="${KV6_DISPLAY:-:87}"
default8_prefix="${KV6_WINEPREFIX:-${HOME:-/tmp}/.cache/kestrov-wine}"
default10_display="${KV6_WINE10_DISPLAY:-:88}"
default10_prefix="${KV6_WINE10_PREFIX:-$cache/kestrov-wine10-prefix}"

# One line per lane: KIND|DISPLAY|PREFIX|TEST,TEST..., defaults filled in.
lanes() {
  local raw
  if [ "${1-}" = --default ]; then
    raw="wine8|||main-job"$'\n'"wine10|||main-job"
  else
    if [ ! -f "$build/CTestTestfile.cmake" ]; then
      echo "lanes: $build is not configured; run scripts/build.sh" >&2
      return 1
    fi
    local json list
    json="$(mktemp)"
    list="$(mktemp)"
    ctest --test-dir "$build" --show-only=json-v1 "$@" >"$json"
    cmake -DJSON="$json" -DOUT="$list" -P "$here/test-lanes.cmake"
    raw="$(cat "$list")"
    rm -f "$json" "$list"
  fi
  local kind display prefix test
  while IFS='|' read -r kind display prefix test; do
    [ -n "$kind" ] || continue
    if [ "$kind" = wine8 ]; then
      printf '%s|%s|%s|%s\n' "$kind" "${display:-$default8_display}" "${prefix:-$default8_prefix}" "$test"
    else
      printf '%s|%s|%s|%s\n' "$kind" "${display:-$default10_display}" "${prefix:-$default10_prefix}" "$test"
    fi
  done <<<"$raw" | awk -F'|' '
    { key = $1 "|" $2 "|" $3
      if (!(key in tests)) { order[++n] = key; tests[key] = $4 } else tests[key] = tests[key] "," $4 }
    END { for (i = 1; i <= n; i++) print order[i] "|" tests[order[i]] }'
}

display_up() {
  pgrep -f "^Xvfb $1( |\$)" >/dev/null
}

# The DPI of a lane's kind (wine10@144: 144), empty for the default 96.
lane_dpi() {
  case "$1" in *@*) echo "${1#*@}" ;; esac
}

# 0 when the lane's prefix is complete and at the lane's DPI.
prefix_ready() {
  local dpi
  dpi="$(lane_dpi "$1")"
  [ -f "$2/.kestrov-ready" ] || return 1
  [ -z "$dpi" ] || [ "$(cat "$2/.kestrov-dpi" 2>/dev/null)" = "$dpi" ]
}

# Makes one lane ready: its display, its prefix (the marker the tools write
# last) and, for Wine 8, the wineserver that stays up; a Wine 10 server ends
# at once (a test's run starts its own).
prepare_one() {
  local kind="$1" display="$2" prefix="$3" start=$SECONDS
  cd "$repo"
  if [ "$kind" = wine8 ]; then
    KV6_DISPLAY="$display" KV6_WINEPREFIX="$prefix" tools/wine-run cmd /c exit
  else
    KV6_WINE10_DISPLAY="$display" KV6_WINE10_PREFIX="$prefix" KV6_WINE10_LINGER=0 \
      tools/wine10-run cmd /c exit
  fi
  if [ ! -f "$prefix/.kestrov-ready" ]; then
    echo "the prefix $prefix is not complete (no .kestrov-ready)"
    return 1
  fi
  local dpi key
  dpi="$(lane_dpi "$kind")"
  if [ -n "$dpi" ] && ! prefix_ready "$kind" "$prefix"; then
    # The display's DPI as Windows keeps it; a new server reads it.
    for key in 'HKCU\Control Panel\Desktop' 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts'; do
      KV6_WINE10_DISPLAY="$display" KV6_WINE10_PREFIX="$prefix" KV6_WINE10_LINGER=0 \
        tools/wine10-run reg add "$key" /v LogPixels /t REG_DWORD /d "$dpi" /f || return 1
    done
    KV6_WINE10_PREFIX="$prefix" tools/wine10-run --stop
    echo "$dpi" >"$prefix/.kestrov-dpi"
    echo "set to $dpi DPI"
  fi
  echo "ready in $((SECONDS - start)) s"
}

# Runs prepare_one for each "KIND|DISPLAY|PREFIX|TESTS" line of the file
# $1, KV6_PREPARE_JOBS at a time, each into its own log.
prepare_many() {
  local jobs="${KV6_PREPARE_JOBS:-2}" logs running=0 failed=0 kind display prefix tests
  logs="$(kv6_log_dir)/lanes"
  mkdir -p "$logs"
  while IFS='|' read -r kind display prefix tests; do
    while [ "$running" -ge "$jobs" ]; do
      wait -n || failed=1
      running=$((running - 1))
    done
    local log="$logs/$kind-${display#:}.log"
    echo "$kind display $display prefix $prefix ($tests): log $log"
    (
      if prepare_one "$kind" "$display" "$prefix" >"$log" 2>&1; then
        echo "  $kind $display: $(tail -n 1 "$log")"
      else
        echo "  $kind $display FAILED: $(tail -n 1 "$log"); log $log"
        exit 1
      fi
    ) &
    running=$((running + 1))
  done <"$1"
  while [ "$running" -gt 0 ]; do
    wait -n || failed=1
    running=$((running - 1))
  done
  return "$failed"
}

prepare() {
  local whose="the test lanes"
  [ "${1-}" != --default ] || whose="tools/wine-run and tools/wine10-run"
  local all work="" work8="" prefixes8=0 prefixes10=0 displays=0 skipped=0 kind display prefix tests
  all="$(lanes "$@")"
  while IFS='|' read -r kind display prefix tests; do
    [ -n "$kind" ] || continue
    if [ "$kind" != wine8 ] && [ ! -f "$root/.kestrov-wine10-ready" ]; then
      skipped=$((skipped + 1))  # no Wine 10 root: those tests are skipped
      continue
    fi
    if ! prefix_ready "$kind" "$prefix"; then
      if [ "$kind" = wine8 ]; then prefixes8=$((prefixes8 + 1)); else prefixes10=$((prefixes10 + 1)); fi
    elif display_up "$display"; then
      continue
    else
      displays=$((displays + 1))
    fi
    # The Wine 10 prefixes, the longest to make, first.
    if [ "$kind" = wine8 ]; then
      work8+="$kind|$display|$prefix|$tests"$'\n'
    else
      work+="$kind|$display|$prefix|$tests"$'\n'
    fi
  done <<<"$all"
  work+="$work8"
  [ "$skipped" = 0 ] || echo "No Wine 10 root at $root: $skipped Wine 10 lanes left alone (their tests are skipped)"
  [ -n "$work" ] || return 0
  local jobs="${KV6_PREPARE_JOBS:-2}" prefixes=$((prefixes8 + prefixes10)) list status=0
  list="$(mktemp)"
  printf '%s' "$work" >"$list"
  if [ "$prefixes" = 0 ]; then
    kv6_step -q 10 "Starting $displays displays and Wine servers for $whose" "a second or two each" \
      lanes -- "$0" _prepare-many "$list" || status=$?
  else
    # What it usually costs: a Wine 8 prefix 10 to 20 s, a Wine 10 one 20
    # to 40 s, shared among the jobs.
    local low=$(( (prefixes8 * 10 + prefixes10 * 20) / jobs )) high=$(( (prefixes8 * 20 + prefixes10 * 40) / jobs ))
    local noun="Wine prefixes"
    [ "$prefixes" != 1 ] || noun="Wine prefix"
    kv6_step "Making $prefixes $noun for $whose ($prefixes8 Wine 8, $prefixes10 Wine 10), $jobs at a time" \
      "$(kv6_duration "$low") to $(kv6_duration "$high")" lanes -- "$0" _prepare-many "$list" || status=$?
  fi
  rm -f "$list"
  return "$status"
}

stop() {
  local kind display prefix tests pid
  cd "$repo"
  while IFS='|' read -r kind display prefix tests; do
    [ -n "$kind" ] || continue
    if [ "$kind" = wine8 ]; then
      [ ! -d "$prefix" ] || WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
    else
      KV6_WINE10_PREFIX="$prefix" "$repo/tools/wine10-run" --stop || true
    fi
    for pid in $(pgrep -f "^Xvfb $display( |\$)"); do
      kill "$pid" 2>/dev/null || true
    done
    # What tools/wine-run wrote of the display it started is gone with it.
    rm -f "$prefix.xvfb"
  done <<<"$(lanes "$@")"
}

command="${1-}"
shift || true
case "$command" in
  list) lanes "$@" | tr '|' ' ' ;;
  prepare) prepare "$@" ;;
  stop) stop "$@" ;;
  _prepare-many) prepare_many "$1" ;;
  prepare-one) [ $# -eq 3 ] && [[ "$1" =~ ^wine(8|10(@[0-9]{2,3})?)$ ]] && prepare_one "$@" ;;
  *)
    echo "usage: scripts/lanes.sh list|prepare|stop [--default | CTEST ARGS...]" >&2
    exit 1
    ;;
esac
