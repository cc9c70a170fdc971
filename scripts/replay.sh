#!/usr/bin/env bash
# Replays a launcher page under Wine 10, whose UI Automation client is real:
# starts the simulated Minecraft Launcher serving PAGE (a page of kit/pages,
# or a player's `dump` output saved as it is), with SHOT.bmp (from
# `dump --shot`) as its background when given, runs KestrovV6-Play.exe
# against it (`find --timeout 15` unless other arguments follow), prints the
# tool's lines and exit code and what the launcher saw, then ends the
# launcher by its process id.
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

echo "\$ KestrovV6-Play.exe $*"
if [ "${KV6_REPLAY_TIMES:-0}" = 1 ]; then
  start=$(date +%s.%N)
  "$repo/tools/wine10-run" "$build/KestrovV6-Play.exe" "$@" | while IFS= read -r line; do
    line="${line%$'\r'}"
    now="$(date +%s.%N)" start="$start" line="$line" \
      awk 'BEGIN { printf "%6.2f %s\n", ENVIRON["now"] - ENVIRON["start"], ENVIRON["line"] }'
  done
  code=${PIPESTATUS[0]}
else
  "$repo/tools/wine10-run" "$build/KestrovV6-Play.exe" "$@"
  code=$?
fi
echo "exit code $code"
sleep 0.5  # the launcher logs what came last
echo "The simulated launcher saw:"
sed 's/^/  /' "$work/launcher.log"
exit "$code"
