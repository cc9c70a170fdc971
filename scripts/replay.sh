#!/usr/bin/env bash
# Replays a launcher page under Wine 10, whose UI Automation client is real:
# starts the simulated Minecraft Launcher serving PAGE (a page of kit/pages,
# a player's `dump` output saved as it is, or the file a run's --diagnose
# wrote), with a picture as its background (SHOT.bmp when given, else
# PAGE.bmp, or NAME.bmp beside NAME.page, when there is one), runs KestrovV6-Play.exe against it, prints the
# tool's lines and exit code and what the launcher saw, then ends the
# launcher by its process id.
# The tool's arguments: those given after PAGE; else the player's command
# from a diagnosis ("#> command" line), of which it keeps only what shapes the
# run (the command, --profile, --timeout, --hide) and says what it leaves
# out; else `find --timeout 15`. A player's files are data: nothing of them
# is evaluated, and the replay writes only in its scratch folder. For a
# diagnosis it puts the launcher's client area where the player's was, and
# a cut-short one is served by a launcher that stops answering at once.
# Before the tool runs it prints the page's type names that the page reader
# does not know (read as custom), whether the player's diagnosis was cut
# short, and, when the page holds the player's SCAN line, whether the replay
# scans the same: from the tool's `dump` (its own output when the command is
# `dump`), one line "REPLAY agrees with ..." or "REPLAY differs from the
# player's scan: FIELD VALUE (player VALUE), ...".
# Wine 10's client is far slower than Windows': a `find` or `press` of a
# diagnosis or a dump gets the --timeout the corpus's runs get in place of
# the player's: the passes the page states (`#! passes:`; a player's file
# states none, and gets as many as such a page), each a scan timed on the
# `dump` above and the driver's longest wait; said in a "REPLAY gives the
# tool --timeout ..." line.
# KV6_REPLAY_AS_GIVEN=1 runs the tool as given against the launcher as it
# started, as the corpus tests do: no dump before it (a dump builds a
# Chromium page's late tree for good), no scan check, no longer time-out.
# After the tool's exit code, for a diagnosis, one line says whether the
# replay gives the player's outcome (its FOUND, LOGIN, NOT_SELECTED and
# NOTFOUND lines, its POPUP, PRESSED and STUCK claims, and its exit code),
# judged by the corpus's rule with the player's outcome as the stated one:
# it gives it, gives less (ran out of time before it), or differs. Then one
# line gives the launcher's root requests while the tool ran: each scan
# starts with one or more (Wine 10's client makes two; a find that finds
# Play at its first look tells how many), so they count the scans the tool
# had.
#   scripts/replay.sh PAGE [SHOT.bmp] [TOOL ARGUMENTS...]
#   scripts/replay.sh --compare-scans PLAYER_SCAN_LINE REPLAY_SCAN_LINE
# The exit code is the tool's. Needs a build (scripts/build.sh) and the Wine
# 10 root (scripts/install-wine10.sh); the corpus's rules run in
# page_outcome.exe under Wine 8 (tools/wine-run). KV6_BUILD_DIR picks
# another build folder (default build/mingw); KV6_WINE10_PREFIX and
# KV6_WINE10_DISPLAY go to tools/wine10-run, KV6_WINEPREFIX and KV6_DISPLAY
# to tools/wine-run; KV6_REPLAY_TIMES=1 puts the seconds since the tool
# started before each of its lines, KV6_REPLAY_ROOTS=1 the launcher's root
# requests since it started (both: the seconds first); KV6_REPLAY_LAUNCHER_ARGS adds
# arguments for the launcher (e.g. --count-calls); KV6_REPLAY_PASSES=N gives
# the tool N passes instead of the page's.
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
elif [ -e "$page.bmp" ]; then
  shot="$page.bmp"
elif [[ "$page" == *.page ]] && [ -e "${page%.page}.bmp" ]; then
  shot="${page%.page}.bmp"   # a corpus page's picture
fi

repo="$(cd "$(dirname "$0")/.." && pwd -P)"
build="${KV6_BUILD_DIR:-build/mingw}"
case "$build" in /*) ;; *) build="$repo/$build" ;; esac
for program in MinecraftLauncher.exe KestrovV6-Play.exe page_outcome.exe windows_exit_code.exe; do
  if [ ! -f "$build/$program" ]; then
    echo "replay: no $build/$program; run scripts/build.sh" >&2
    exit 1
  fi
done

# The page and the picture come from a player: everything below reads them
# as data, never as shell, and writes only into this scratch folder. Wine 10
# sees the host only through the folders tools/wine10-run lays into its root
# (/tmp among them): the page and the picture go there. Of the page, no more
# is read than the simulator's reader reads (and a byte to tell it went on).
work="$(mktemp -d /tmp/kv6-replay.XXXXXX)"
wrapper=""
trap 'finish' EXIT
finish() {
  [ -z "$wrapper" ] || end_launcher
  rm -rf "$work"
}
head -c $((REPLAY_PAGE_MAX_BYTES + 1)) -- "$page" >"$work/launcher.page"
player="$work/player.page"
cp "$work/launcher.page" "$player"

diagnosis=0
grep -a -q '^#> exit ' "$player" && diagnosis=1
player_words=()
if [ $# -eq 0 ] && grep -a -q '^#> command ' "$player"; then
  if ! read_player_command "$player" player_words || [ ${#player_words[@]} -eq 0 ] ||
    [[ "${player_words[0]}" != find && "${player_words[0]}" != press ]]; then
    echo "replay: the diagnosis's command is no find or press: $(grep -a -m 1 '^#> command ' "$player" | shown)" >&2
    exit 1
  fi
  replay_words player_words kept_words left_words
  if [ ${#left_words[@]} -gt 0 ]; then
    echo "REPLAY leaves out of the player's command what does not shape their run: $(printable_words "${left_words[@]}")"
  fi
  set -- "${kept_words[@]}"
fi
[ $# -gt 0 ] || set -- find --timeout 15
player_scan="$(grep -m 1 -a '^SCAN ' "$player" | sed 's/\r$//')"

# A launcher that stopped answering before its tree was read leaves a
# diagnosis without element lines: serve its window alone, placed and named
# as its "(this one)" WINDOW line says, as the player's tool found it.
if ! tr -d '\r' <"$player" | grep -a -q '^ *\[' &&
  window="$(tr -d '\r' <"$player" | sed -n 's/^WINDOW [^ ]* \(".*"\) \(-\{0,1\}[0-9]\{1,\} -\{0,1\}[0-9]\{1,\} [0-9]\{1,\} [0-9]\{1,\}\) .*(this one)$/[window] \1 \2/p' | head -n 1)" &&
  [ -n "$window" ]; then
  echo "$window" >>"$work/launcher.page"
  echo "REPLAY serves the launcher's window alone: the player's file holds no UI Automation tree"
fi
launcher_args=(--page "Z:$work/launcher.page" --log "Z:$work/launcher.log" --lifetime-ms 1200000)
# shellcheck disable=SC2206  # split into words on purpose
launcher_args+=(${KV6_REPLAY_LAUNCHER_ARGS:-})
# The picture: a regular file within the reader's bound, or none (the
# simulator checks the rest of it and logs what it refuses).
if [ -n "$shot" ]; then
  shot_bytes="$(stat -L -c %s -- "$shot" 2>/dev/null || echo 0)"
  if [ ! -f "$shot" ]; then
    echo "REPLAY goes on without the picture: $(printable_words "$shot") is no regular file"
  elif [ "$shot_bytes" -gt "$REPLAY_PICTURE_MAX_BYTES" ]; then
    echo "REPLAY goes on without the picture: it has $shot_bytes bytes, more than the $REPLAY_PICTURE_MAX_BYTES a picture may have"
  else
    head -c $((REPLAY_PICTURE_MAX_BYTES + 1)) -- "$shot" >"$work/background.bmp"
    launcher_args+=(--background "Z:$work/background.bmp")
  fi
fi
# Pixels are read in the client area: it goes where the player's was, so a
# pixel-route run replays to the same screen coordinates whatever the frame.
if [ "$diagnosis" = 1 ]; then
  picture=""
  [ ! -f "$work/background.bmp" ] || picture="$work/background.bmp"
  if read -r client from < <(client_area "$player" "$picture") && [ -n "${from:-}" ]; then
    launcher_args+=(--client "$client")
    echo "REPLAY places the launcher's client area where the player's was: ${client//,/ } (from $from)"
  fi
fi
# A scaled player's rectangles and picture are their screen's physical
# pixels: the launcher is served on a screen at their DPI (a Wine 10 prefix
# set to it, made once) with their launcher's awareness, so that the stretch
# of a DPI-unaware launcher, and what it does to clicks, replays too.
if [ "$diagnosis" = 1 ] && read -r scale_dpi awareness < <(player_scale "$player"); then
  launcher_args+=(--page-dpi "$scale_dpi")
  [ "$awareness" = unaware ] || launcher_args+=(--dpi-aware)
  cache="${HOME:-/root}/.cache"
  scaled_prefix="${KV6_WINE10_PREFIX:-$cache/kestrov-wine10-prefix}"
  if [ "$(cat "$scaled_prefix/.kestrov-dpi" 2>/dev/null)" != "$scale_dpi" ]; then
    scaled_prefix="${KV6_REPLAY_PREFIXES:-$cache}/kestrov-wine10-dpi$scale_dpi"
    export KV6_WINE10_PREFIX="$scaled_prefix" KV6_WINE10_DISPLAY="${KV6_REPLAY_SCALED_DISPLAY:-:89}"
    if ! "$repo/scripts/lanes.sh" prepare-one "wine10@$scale_dpi" "$KV6_WINE10_DISPLAY" "$scaled_prefix" \
      >"$work/prefix.log" 2>&1; then
      echo "replay: no Wine 10 prefix at $scale_dpi DPI in $scaled_prefix:" >&2
      tail -n 5 "$work/prefix.log" >&2
      exit 1
    fi
  fi
  echo "REPLAY serves the launcher at the player's scale: $scale_dpi DPI, $awareness (the prefix $scaled_prefix)"
fi
# A launcher that stopped answering while the player's run was taken: the
# replay's stops too, at once, since the diagnosis does not tell when; its
# scans then tell nothing of Wine 10's speed.
cut_short=0
if [ "$diagnosis" = 1 ] && reason="$(cut_short_reason "$player")"; then
  cut_short=1
  launcher_args+=(--hang-after-ms 1)
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

end_launcher() {
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
}

# Each line read with the milliseconds since START (a $EPOCHREALTIME) before it.
stamp_lines() {
  local start="${1//[!0-9]/}" line
  while IFS= read -r line; do
    printf '%d %s\n' $(((${EPOCHREALTIME//[!0-9]/} - start) / 1000)) "${line%$'\r'}"
  done
}

# The exit code is the one a Windows parent reads: Wine's Unix status for a
# run that ended with a call still blocked in the launcher has been seen 0.
tool() {
  "$repo/tools/wine10-run" "$build/windows_exit_code.exe" "Z:$build/KestrovV6-Play.exe" "$@"
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

# What the reader could not type, and a picture it refused, as the launcher
# logged them on loading.
shown <"$work/launcher.log" | grep -a -E '^(UNKNOWN|UNTYPED|PICTURE) '
if [ "$cut_short" = 1 ]; then
  echo "REPLAY the player's diagnosis was cut short: $reason; the replay's launcher stops answering at once" | shown
elif [ "$diagnosis" = 1 ] && reason="$(out_of_time_reason "$player")"; then
  echo "REPLAY the player's diagnosis ran out of time (their launcher still answered): $reason; the replay serves what it read" | shown
fi

# A dump before a find or a press: its SCAN line against the player's, and
# the time one scan takes here, from its last element line to its SCAN line
# (the scan reads each element about ten times as often as the tree walk).
if [[ "$1" == find || "$1" == press ]] && [ "$cut_short" = 0 ] && [ "${KV6_REPLAY_AS_GIVEN:-0}" != 1 ] &&
  { [ -n "$player_scan" ] || [ "$diagnosis" = 1 ]; }; then
  tool dump | stamp_lines "$EPOCHREALTIME" >"$work/dump.out"
  scan_ms="$(awk '$2 ~ /^\[/ { last = $1 } $2 == "SCAN" { print $1 - last; exit }' "$work/dump.out")"
  # No SCAN line: the whole dump stands for a scan.
  [ -n "$scan_ms" ] || scan_ms="$(tail -n 1 "$work/dump.out" | cut -d ' ' -f 1)"
  if [ -n "$player_scan" ]; then
    compare_scans "$player_scan" "$(cut -d ' ' -f 2- "$work/dump.out" | grep -a -m 1 '^SCAN ')" | shown
  fi
  read -r seconds at < <(tool_timeout "$@")
  # The passes the page states; a player's file states none, and gets as
  # many as such a page.
  passes_line="$(page_outcome stated find wine10 <"$player" | head -n 1)"
  if [[ "${KV6_REPLAY_PASSES:-}" =~ ^[1-9][0-9]{0,2}$ ]]; then
    passes="$KV6_REPLAY_PASSES"
    why="as KV6_REPLAY_PASSES asks"
  elif [[ "$passes_line" =~ ^passes\ ([0-9]{1,4})( unstated)?$ ]]; then
    passes="${BASH_REMATCH[1]}"
    why="the page's"
    [ -z "${BASH_REMATCH[2]}" ] || why="as for a page that states none"
  else
    echo "replay: page_outcome.exe did not run (tools/wine-run)" >&2
    exit 1
  fi
  longer="$(replay_timeout "$passes" "${scan_ms:-0}")" || exit 1
  echo "REPLAY gives the tool --timeout $longer where the player's run had $seconds: $passes passes ($why) at a scan of $(awk -v ms="${scan_ms:-0}" 'BEGIN { printf "%.1f", ms / 1000 }') s here"
  if [ "$at" -ge 0 ]; then
    set -- "${@:1:$at}" "$longer" "${@:$((at + 2))}"
  else
    set -- "$1" --timeout "$longer" "${@:2}"
  fi
fi

# The scans a run had: the launcher logs a line for each root request, and a
# client's scan starts with the root.
root_requests() {
  grep -a -c '^ROOT ' "$work/launcher.log" 2>/dev/null || true
}
roots_before="$(root_requests)"
# Each line with the launcher's root requests since the tool started before it.
count_roots() {
  local line
  while IFS= read -r line; do
    printf '%d %s\n' $(($(root_requests) - roots_before)) "${line%$'\r'}"
  done
}
annotate() {
  if [ "${KV6_REPLAY_ROOTS:-0}" = 1 ]; then count_roots; else cat; fi |
    if [ "${KV6_REPLAY_TIMES:-0}" = 1 ]; then
      stamp_lines "$1" | awk '{ ms = $1; sub(/^[0-9]+ /, ""); printf "%6.2f %s\n", ms / 1000, $0 }'
    else
      cat
    fi
}

echo "\$ KestrovV6-Play.exe $*" | shown
tool "$@" | tee "$work/tool.out" | annotate "$EPOCHREALTIME" | shown
code=${PIPESTATUS[0]}
echo "exit code $code"
sleep 0.5  # the launcher logs what came last
if [ -n "$player_scan" ] && [ "$1" = dump ]; then
  compare_scans "$player_scan" "$(tr -d '\r' <"$work/tool.out" | grep -a -m 1 '^SCAN ')" | shown
fi
if [ "$diagnosis" = 1 ] && theirs="$(player_outcome "$player")" && ours="$(outcome_of "$code" <"$work/tool.out")"; then
  # The player's outcome is the stated one; a run without an outcome line
  # states nothing, and gives the same or differs.
  verdict=2
  if [ "$theirs" != "${theirs#exit }" ]; then
    [ "$ours" != "$theirs" ] || verdict=0
  else
    { printf '%s\n' "$theirs"; cat "$work/tool.out"; } | page_outcome judge "$code" >/dev/null
    verdict=$?
  fi
  if [ "$verdict" = 0 ]; then
    echo "REPLAY gives the player's outcome: $ours" | shown
  elif [ "$cut_short" = 1 ]; then
    echo "REPLAY cannot give the player's outcome: their launcher stopped answering at a moment the diagnosis does not tell, the replay's at once: $ours (player $theirs)" | shown
  elif [ "$verdict" = 1 ]; then
    echo "REPLAY gives less than the player's outcome (it ran out of time before it): $ours (player $theirs)" | shown
  else
    echo "REPLAY differs from the player's outcome: $ours (player $theirs)" | shown
  fi
fi
echo "REPLAY the launcher had $(($(root_requests) - roots_before)) root requests while the tool ran"
echo "The simulated launcher saw:"
sed 's/^/  /' "$work/launcher.log" | shown
exit "$code"
