#!/usr/bin/env bash
# Replays a launcher page under Wine 10, whose UI Automation client is real:
# starts the simulated Minecraft Launcher serving PAGE (a page of kit/pages,
# a player's `dump` output saved as it is, or the file a run's --diagnose
# wrote), with a picture as its background (SHOT.bmp when given, else
# PAGE.bmp, or NAME.bmp beside NAME.page, when there is one), runs KestrovV6-Play.exe against it, prints the
# tool's lines and exit code and what the launcher saw, then ends the
# launcher by its process id.
# The tool's arguments: those given after PAGE; else the player's command
# from a diagnosis ("#> command" line); else `find --timeout 15`.
# Before the tool runs it prints the page's type names that the page reader
# does not know (read as custom), whether the player's diagnosis was cut
# short, and, when the page holds the player's SCAN line, whether the replay
# scans the same: from the tool's `dump` (its own output when the command is
# `dump`), one line "REPLAY agrees with ..." or "REPLAY differs from the
# player's scan: FIELD VALUE (player VALUE), ...".
# Wine 10's client is far slower than Windows': a `find` or `press` of a
# diagnosis or a dump gets a longer --timeout, the player's time and ten of
# the replay's passes more (a pass timed on the `dump` above), said in a
# "REPLAY gives the tool --timeout ..." line.
# After the tool's exit code, for a diagnosis, one line says whether the
# replay gives the player's outcome (its FOUND, PRESSED, NOTFOUND,
# NOT_SELECTED, LOGIN, STUCK and POPUP lines and exit code).
#   scripts/replay.sh PAGE [SHOT.bmp] [TOOL ARGUMENTS...]
#   scripts/replay.sh --compare-scans PLAYER_SCAN_LINE REPLAY_SCAN_LINE
# The exit code is the tool's. Needs a build (scripts/build.sh) and the Wine
# 10 root (scripts/install-wine10.sh). KV6_BUILD_DIR picks another build
# folder (default build/mingw); KV6_WINE10_PREFIX and KV6_WINE10_DISPLAY go
# to tools/wine10-run; KV6_REPLAY_TIMES=1 puts the seconds since the tool
# started before each of its lines; KV6_REPLAY_LAUNCHER_ARGS adds arguments
# for the launcher (e.g. --count-calls).
set -uo pipefail
# shellcheck source=scripts/replay-lib.sh
source "$(dirname "$0")/replay-lib.sh"

if [ "${1:-}" = --compare-scans ] && [ $# -eq 3 ]; then
  compare_scans "$2" "$3"
  exit 0
fi
if [ $# -lt 1 ] || [ ! -f "$1" ]; then
  echo "usage: scripts/replay.sh PAGE [SHOT.bmp] [TOOL ARGUMENTS...]" >&2
  echo "       scripts/replay.sh --compare-scans PLAYER_SCAN_LINE REPLAY_SCAN_LINE" >&2
  exit 1
fi
page="$1"
shift
shot=""
if [ $# -gt 0 ] && [[ "${1,,}" == *.bmp ]]; then
  shot="$1"
  shift
elif [ -f "$page.bmp" ]; then
  shot="$page.bmp"
elif [[ "$page" == *.page ]] && [ -f "${page%.page}.bmp" ]; then
  shot="${page%.page}.bmp"   # a corpus page's picture
fi

diagnosis=0
grep -a -q '^#> exit ' "$page" && diagnosis=1
player_words=()
if [ $# -eq 0 ] && grep -a -q '^#> command ' "$page"; then
  if ! read_player_command "$page" player_words || [ ${#player_words[@]} -eq 0 ] ||
    [[ "${player_words[0]}" != find && "${player_words[0]}" != press ]]; then
    echo "replay: the diagnosis's command is no find or press: $(grep -a -m 1 '^#> command ' "$page" | tr -d '\r')" >&2
    exit 1
  fi
  set -- "${player_words[@]}"
fi
[ $# -gt 0 ] || set -- find --timeout 15
player_scan="$(grep -m 1 -a '^SCAN ' "$page" | tr -d '\r')"

repo="$(cd "$(dirname "$0")/.." && pwd -P)"
build="${KV6_BUILD_DIR:-build/mingw}"
case "$build" in /*) ;; *) build="$repo/$build" ;; esac
for program in MinecraftLauncher.exe KestrovV6-Play.exe; do
  if [ ! -f "$build/$program" ]; then
    echo "replay: no $build/$program; run scripts/build.sh" >&2
    exit 1
  fi
done

# Wine 10 sees the host only through the folders tools/wine10-run lays into
# its root (/tmp among them): the page and the picture go there.
work="$(mktemp -d /tmp/kv6-replay.XXXXXX)"
cp "$page" "$work/launcher.page"
# A launcher that stopped answering before its tree was read leaves a
# diagnosis without element lines: serve its window alone, placed and named
# as its "(this one)" WINDOW line says, as the player's tool found it.
if ! tr -d '\r' <"$page" | grep -a -q '^ *\[' &&
  window="$(tr -d '\r' <"$page" | sed -n 's/^WINDOW [^ ]* \(".*"\) \(-\{0,1\}[0-9]\{1,\} -\{0,1\}[0-9]\{1,\} [0-9]\{1,\} [0-9]\{1,\}\) .*(this one)$/[window] \1 \2/p' | head -n 1)" &&
  [ -n "$window" ]; then
  echo "$window" >>"$work/launcher.page"
  echo "REPLAY serves the launcher's window alone: the player's file holds no UI Automation tree"
fi
launcher_args=(--page "Z:$work/launcher.page" --log "Z:$work/launcher.log" --lifetime-ms 1200000)
# shellcheck disable=SC2206  # split into words on purpose
launcher_args+=(${KV6_REPLAY_LAUNCHER_ARGS:-})
if [ -n "$shot" ]; then
  cp "$shot" "$work/background.bmp"
  launcher_args+=(--background "Z:$work/background.bmp")
fi

"$repo/tools/wine10-run" "$build/MinecraftLauncher.exe" "${launcher_args[@]}" >"$work/launcher.out" 2>&1 &
wrapper=$!

# The launcher's own process: the Wine process below the wrapper that runs
# MinecraftLauncher.exe. Ending it lets the wrapper end the Wine server.
launcher_pid() {
  local queue=("$wrapper") pid child
  while [ ${#queue[@]} -gt 0 ]; do
    pid="${queue[0]}"
    queue=("${queue[@]:1}")
    # Its first argument is the program (the wrappers above it are shells).
    if tr '\0' '\n' <"/proc/$pid/cmdline" 2>/dev/null | head -n 1 | grep -qi 'MinecraftLauncher\.exe$'; then
      echo "$pid"
    fi
    for child in $(cat /proc/"$pid"/task/*/children 2>/dev/null); do
      queue+=("$child")
    done
  done
}

finish() {
  # The launcher may still be starting: end it once it shows, until the
  # wrapper has gone (at most a minute).
  local pid
  for _ in $(seq 1 600); do
    kill -0 "$wrapper" 2>/dev/null || break
    for pid in $(launcher_pid); do
      kill "$pid" 2>/dev/null
    done
    sleep 0.1
  done
  wait "$wrapper" 2>/dev/null
  rm -rf "$work"
}
trap finish EXIT

# Each line read with the milliseconds since START (a $EPOCHREALTIME) before it.
stamp_lines() {
  local start="${1//[!0-9]/}" line
  while IFS= read -r line; do
    printf '%d %s\n' $(((${EPOCHREALTIME//[!0-9]/} - start) / 1000)) "${line%$'\r'}"
  done
}

tool() {
  "$repo/tools/wine10-run" "$build/KestrovV6-Play.exe" "$@"
}

# A new Wine prefix takes a while to make on first use.
for _ in $(seq 1 1200); do
  grep -q READY "$work/launcher.log" 2>/dev/null && break
  kill -0 "$wrapper" 2>/dev/null || break
  sleep 0.1
done
if ! grep -q READY "$work/launcher.log" 2>/dev/null; then
  echo "replay: the simulated launcher did not start" >&2
  exit 1
fi

# What the reader could not type, as the launcher logged it on loading.
tr -d '\r' <"$work/launcher.log" | grep -E '^(UNKNOWN|UNTYPED) '
if [ "$diagnosis" = 1 ] && reason="$(cut_short_reason "$page")"; then
  echo "REPLAY the player's diagnosis was cut short: $reason"
fi

# A dump before a find or a press: its SCAN line against the player's, and
# the time one scan takes here, from its last element line to its SCAN line
# (the scan reads each element about ten times as often as the tree walk).
if [[ "$1" == find || "$1" == press ]] && { [ -n "$player_scan" ] || [ "$diagnosis" = 1 ]; }; then
  tool dump | stamp_lines "$EPOCHREALTIME" >"$work/dump.out"
  scan_ms="$(awk '$2 ~ /^\[/ { last = $1 } $2 == "SCAN" { print $1 - last; exit }' "$work/dump.out")"
  # No SCAN line: the whole dump stands for a scan.
  [ -n "$scan_ms" ] || scan_ms="$(tail -n 1 "$work/dump.out" | cut -d ' ' -f 1)"
  if [ -n "$player_scan" ]; then
    compare_scans "$player_scan" "$(cut -d ' ' -f 2- "$work/dump.out" | grep -m 1 '^SCAN ')"
  fi
  read -r seconds at < <(tool_timeout "$@")
  longer="$(replay_timeout "$seconds" "${scan_ms:-0}")"
  if [ "$longer" != "$seconds" ]; then
    echo "REPLAY gives the tool --timeout $longer where the player's run had $seconds: Wine 10's client is slower (a scan took $(awk -v ms="${scan_ms:-0}" 'BEGIN { printf "%.1f", ms / 1000 }') s)"
    if [ "$at" -ge 0 ]; then
      set -- "${@:1:$at}" "$longer" "${@:$((at + 2))}"
    else
      set -- "$1" --timeout "$longer" "${@:2}"
    fi
  fi
fi

echo "\$ KestrovV6-Play.exe $*"
if [ "${KV6_REPLAY_TIMES:-0}" = 1 ]; then
  tool "$@" | tee "$work/tool.out" | stamp_lines "$EPOCHREALTIME" |
    awk '{ ms = $1; sub(/^[0-9]+ /, ""); printf "%6.2f %s\n", ms / 1000, $0 }'
  code=${PIPESTATUS[0]}
else
  tool "$@" | tee "$work/tool.out"
  code=${PIPESTATUS[0]}
fi
echo "exit code $code"
if [ -n "$player_scan" ] && [ "$1" = dump ]; then
  compare_scans "$player_scan" "$(tr -d '\r' <"$work/tool.out" | grep -m 1 '^SCAN ')"
fi
if [ "$diagnosis" = 1 ] && theirs="$(player_outcome "$page")"; then
  ours="$(outcome_of "$code" <"$work/tool.out")"
  if [ "$ours" = "$theirs" ]; then
    echo "REPLAY gives the player's outcome: $ours"
  else
    echo "REPLAY differs from the player's outcome: $ours (player $theirs)"
  fi
fi
sleep 0.5  # the launcher logs what came last
echo "The simulated launcher saw:"
sed 's/^/  /' "$work/launcher.log"
exit "$code"
