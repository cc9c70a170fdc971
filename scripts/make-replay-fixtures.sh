#!/usr/bin/env bash
# Makes the players' diagnoses that the replay test keeps as fixtures,
# tests/kit/replay/NAME.diagnosis with its picture NAME.diagnosis.bmp: the
# real tool's `find --diagnose` under Wine 10 against the simulator serving
# kit/pages/NAME.page, as a player's run would write it. Run it again when
# the diagnosis's format changes.
# The run's time-out is the corpus's rule for the page's passes (`#!
# passes:`) at a generous scan: a whole find of home-en measured first, the
# tool's start and its first, cold scan included. A run that gave less than
# the page's outcome with fewer scans than its passes had too little time,
# and runs again with twice the time; one whose diagnosis was cut short (it
# has 15 s of its own: on a loaded machine a page of 15 elements does not
# fit) or has no picture runs again as it was; three runs at most.
# A fixture is written only when both the run and the diagnosis it wrote
# give the page's stated Wine 10 find outcome exactly (the corpus's rule,
# page_outcome.exe), in full and with its picture; else nothing is written
# and the exit code is 1.
#   scripts/make-replay-fixtures.sh [NAME...]   (default: other-profile sign-in-green)
# Needs what scripts/replay.sh needs; KV6_FIXTURES_DIR writes elsewhere
# (default tests/kit/replay).
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd -P)"
repo="$(cd "$here/.." && pwd -P)"
# shellcheck source=scripts/replay-lib.sh
source "$here/replay-lib.sh"
[ $# -gt 0 ] || set -- other-profile sign-in-green
out_dir="${KV6_FIXTURES_DIR:-$repo/tests/kit/replay}"
work="$(mktemp -d /tmp/kv6-fixtures.XXXXXX)"
trap 'rm -rf "$work"' EXIT

# What a scan costs here, and the root requests it makes.
if ! read -r per_scan scan_ms < <(one_scan); then
  echo "make-replay-fixtures: a find of home-en found no Play" >&2
  exit 1
fi
echo "make-replay-fixtures: a find of home-en took $scan_ms ms, one scan of $per_scan root requests"

status=0
for name in "$@"; do
  page="$repo/kit/pages/$name.page"
  if [[ ! "$name" =~ ^[a-z0-9-]+$ ]] || [ ! -f "$page" ]; then
    echo "make-replay-fixtures: no corpus page $name" >&2
    status=1
    continue
  fi
  statement="$(page_outcome stated find wine10 <"$page")"
  passes="$(sed -n '1s/^passes \([0-9]*\).*/\1/p' <<<"$statement")"
  wanted="$(sed -n 2p <<<"$statement")"
  if [ -z "$passes" ] || [ -z "$wanted" ]; then
    echo "make-replay-fixtures: $name states no find outcome for Wine 10" >&2
    status=1
    continue
  fi
  timeout="$(page_outcome timeout "$passes" "$scan_ms")"
  file="$work/$name.diagnosis"
  made=0
  for _ in 1 2 3; do
    rm -f "$file" "$file.bmp"
    output="$("$here/replay.sh" "$page" find --timeout "$timeout" --diagnose "Z:$file" 2>&1 | tr -d '\r')"
    code="$(sed -n 's/^exit code \([0-9]*\)$/\1/p' <<<"$output")"
    roots="$(sed -n 's/^REPLAY the launcher had \([0-9]*\) root requests .*/\1/p' <<<"$output")"
    scans=$((${roots:-0} / per_scan))
    lines="$(sed -n '/^\$ KestrovV6-Play.exe /,/^exit code /p' <<<"$output" | sed '1d;$d')"
    judged="$(printf '%s\n%s\n' "$wanted" "$lines" | page_outcome judge "${code:-255}")"
    verdict=$?
    echo "make-replay-fixtures: $name, find --timeout $timeout: $scans scans ($roots root requests), $judged"
    if [ "$verdict" = 1 ] && [ "$scans" -lt "$passes" ]; then
      timeout=$((timeout * 2))  # too little time, not a wrong outcome
      continue
    fi
    [ "$verdict" = 0 ] || break
    # The diagnosis in full, with its picture, and the same outcome.
    if grep -a -q '^# cut short' "$file" 2>/dev/null || [ ! -s "$file.bmp" ]; then
      echo "make-replay-fixtures: $name: the diagnosis was cut short or has no picture: $(grep -a -m 1 '^# cut short' "$file" 2>/dev/null | tr -d '\r')"
      continue
    fi
    theirs="$(player_outcome "$file")" || break
    if ! judged="$({ echo "$wanted"; tr -d '\r' <"$file" | sed -n 's/^#> [0-9]\{1,\} //p'; } | page_outcome judge "${theirs##* }")"; then
      echo "make-replay-fixtures: $name: the diagnosis's own lines give $theirs: $judged" >&2
      break
    fi
    made=1
    break
  done
  if [ "$made" = 0 ]; then
    echo "make-replay-fixtures: $name: no fixture written; the run printed:" >&2
    echo "$output" >&2
    status=1
    continue
  fi
  mkdir -p "$out_dir"
  {
    head -n 1 "$file"
    echo "# Made by scripts/make-replay-fixtures.sh from kit/pages/$name.page:"
    echo "# the real tool's find under Wine 10 against the simulator (--timeout"
    echo "# $timeout, $scans scans) gave the page's outcome, $wanted."
    tail -n +2 "$file"
  } >"$out_dir/$name.diagnosis"
  cp "$file.bmp" "$out_dir/$name.diagnosis.bmp"
  echo "make-replay-fixtures: wrote $out_dir/$name.diagnosis and its picture"
done
exit "$status"
