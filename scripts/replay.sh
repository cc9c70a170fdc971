#!/usr/bin/env bash
# Replays a launcher page under Wine 10, whose UI Automation client is real:
# starts the simulated Minecraft Launcher serving PAGE (a page of kit/pages,
# or a player's `dump` output saved as it is), with SHOT.bmp (from
# `dump --shot`) as its background when given, runs KestrovV6-Play.exe
# against it (`find --timeout 15` unless other arguments follow), prints the
# tool's lines and exit code and what the launcher saw, then ends the
# launcher by its process id.
# Before the tool runs it prints the page's type names that the page reader
# does not know (read as custom), and, when the page holds the player's SCAN
# line, whether the replay scans the same: from the tool's `dump` (its own
# output when the command is `dump`), one line "REPLAY agrees with ..." or
# "REPLAY differs from the player's scan: FIELD VALUE (player VALUE), ...".
#   scripts/replay.sh PAGE [SHOT.bmp] [TOOL ARGUMENTS...]
# The exit code is the tool's. Needs a build (scripts/build.sh) and the Wine
# 10 root (scripts/install-wine10.sh). KV6_BUILD_DIR picks another build
# folder (default build/mingw); KV6_WINE10_PREFIX and KV6_WINE10_DISPLAY go
# to tools/wine10-run; KV6_REPLAY_TIMES=1 puts the seconds since the tool
# started before each of its lines; KV6_REPLAY_LAUNCHER_ARGS adds arguments
# for the launcher (e.g. --count-calls).
set -uo pipefail
if [ $# -lt 1 ] || [ ! -f "$1" ]; then
  echo "usage: scripts/replay.sh PAGE [SHOT.bmp] [TOOL ARGUMENTS...]" >&2
  exit 1
fi
page="$1"
shift
shot=""
if [ $# -gt 0 ] && [[ "${1,,}" == *.bmp ]]; then
  shot="$1"
  shift
fi
[ $# -gt 0 ] || set -- find --timeout 15

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
launcher_args=(--page "Z:$work/launcher.page" --log "Z:$work/launcher.log" --lifetime-ms 600000)
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

# The SCAN line's fields, one "name value" a line; the pick's "(Kestrov V6
# beside it)" becomes its own field.
scan_fields() {
  local re='^SCAN elements ([0-9]+) plays ([0-9]+) pick (.*) profiles ([0-9]+) tab (yes|no) java (yes|no) login ([0-9]+)$'
  local line="${1%$'\r'}" pick beside=no
  [[ "$line" =~ $re ]] || return 1
  pick="${BASH_REMATCH[3]}"
  if [[ "$pick" == *" (Kestrov V6 beside it)" ]]; then
    pick="${pick% (Kestrov V6 beside it)}"
    beside=yes
  fi
  printf '%s\n' "elements ${BASH_REMATCH[1]}" "plays ${BASH_REMATCH[2]}" "pick $pick" "beside $beside" \
    "profiles ${BASH_REMATCH[4]}" "tab ${BASH_REMATCH[5]}" "java ${BASH_REMATCH[6]}" "login ${BASH_REMATCH[7]}"
}

# One line: does the replay's SCAN line match the player's?
compare_scans() {
  local player="$1" replayed="$2" differences="" p r
  if [ -z "$replayed" ]; then
    echo "REPLAY could not compare with the player's scan: the replay printed no SCAN line"
    return
  fi
  if ! scan_fields "$player" >"$work/player.fields" || ! scan_fields "$replayed" >"$work/replay.fields"; then
    echo "REPLAY could not compare with the player's scan: unreadable SCAN line"
    return
  fi
  while IFS= read -r p <&3 && IFS= read -r r <&4; do
    [ "$p" = "$r" ] || differences="${differences:+$differences, }$r (player ${p#* })"
  done 3<"$work/player.fields" 4<"$work/replay.fields"
  if [ -z "$differences" ]; then
    echo "REPLAY agrees with the player's scan: ${player%$'\r'}"
  else
    echo "REPLAY differs from the player's scan: $differences"
  fi
}

player_scan="$(grep -m 1 -a '^SCAN ' "$page" | tr -d '\r')"
if [ -n "$player_scan" ] && [ "${1:-}" != dump ]; then
  compare_scans "$player_scan" "$("$repo/tools/wine10-run" "$build/KestrovV6-Play.exe" dump | tr -d '\r' | grep -m 1 '^SCAN ')"
fi

echo "\$ KestrovV6-Play.exe $*"
if [ "${KV6_REPLAY_TIMES:-0}" = 1 ]; then
  start=$(date +%s.%N)
  "$repo/tools/wine10-run" "$build/KestrovV6-Play.exe" "$@" | tee "$work/tool.out" | while IFS= read -r line; do
    line="${line%$'\r'}"
    now="$(date +%s.%N)" start="$start" line="$line" \
      awk 'BEGIN { printf "%6.2f %s\n", ENVIRON["now"] - ENVIRON["start"], ENVIRON["line"] }'
  done
  code=${PIPESTATUS[0]}
else
  "$repo/tools/wine10-run" "$build/KestrovV6-Play.exe" "$@" | tee "$work/tool.out"
  code=${PIPESTATUS[0]}
fi
echo "exit code $code"
if [ -n "$player_scan" ] && [ "$1" = dump ]; then
  compare_scans "$player_scan" "$(tr -d '\r' <"$work/tool.out" | grep -m 1 '^SCAN ')"
fi
sleep 0.5  # the launcher logs what came last
echo "The simulated launcher saw:"
sed 's/^/  /' "$work/launcher.log"
exit "$code"
