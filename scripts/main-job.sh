#!/usr/bin/env bash
# The main job, end to end on this Linux machine: builds what is missing, starts
# the simulated Minecraft Launcher under Wine on a virtual display, runs
#   KestrovV6-Play.exe press --hide --timeout 30
# against it, printing the report lines as they come and the exit code, then
# shows the launcher again (`show`) and ends it.
# Extra arguments go to the tool, e.g. scripts/main-job.sh find.
set -uo pipefail
cd "$(dirname "$0")/.."
echo "Building what is missing (scripts/build.sh)..."
scripts/build.sh >/dev/null || exit 1

build=build/mingw
log=$(mktemp)
# The launcher: a Play button with the Kestrov V6 profile marker beside it; a
# click starts the (dummy) game.
tools/wine-run "$build/MinecraftLauncher.exe" --marker --lifetime-ms 120000 --log "Z:$log" &
launcher=$!
for _ in $(seq 1 100); do grep -q READY "$log" 2>/dev/null && break; sleep 0.1; done

if [ $# -eq 0 ]; then
  set -- press --hide --timeout 30
fi
echo "\$ KestrovV6-Play.exe $*"
tools/wine-run "$build/KestrovV6-Play.exe" "$@"
code=$?
echo "exit code $code"

echo "\$ KestrovV6-Play.exe show"
tools/wine-run "$build/KestrovV6-Play.exe" show
echo "exit code $?"

echo "The simulated launcher saw:"
sed 's/^/  /' "$log"
# End the launcher and the dummy game it started, by their ids.
tools/wine-run "$build/KestrovV6-Play.exe" close >/dev/null
for pid in $(sed -n 's/^ACTION start-java \([0-9]*\)$/\1/p' "$log"); do
  tools/wine-run cmd /c "taskkill /F /PID $pid" >/dev/null 2>&1 || true
done
wait "$launcher" 2>/dev/null
rm -f "$log"
exit $code
