#!/usr/bin/env bash
# The main job, end to end on this Linux machine: builds what is missing, then
# runs the tool by both of its routes against the simulated Minecraft Launcher:
# 1. The pixel route, under Wine 8 on a virtual display (no UI Automation
#    client there): the launcher paints a Play button with the Kestrov V6
#    marker beside it, and
#      KestrovV6-Play.exe press --hide --timeout 30
#    presses it, printing the report lines as they come and the exit code; then
#    the launcher is shown again (`show`) and ended.
# 2. The UI Automation route, under Wine 10 (a real client): the launcher
#    serves the corpus's home page (kit/pages/home-en.page) and
#      KestrovV6-Play.exe find --timeout 30
#    finds Play beside the profile name: FOUND uia (scripts/replay.sh).
# Extra arguments replace the pixel route's, e.g. scripts/main-job.sh find.
# The exit code is the first route's that is not 0.
# KV6_BUILD_DIR runs a build folder other than build/mingw (built with
# cmake --build; it must be configured).
# Set-up first: packages, the Debian 13 root, the build, the two Wine
# prefixes; each long step says what it does and costs as it goes (logs in
# build/logs), and with everything there they print a line or none.
set -uo pipefail
cd "$(dirname "$0")/.."
. scripts/step.sh
build="${KV6_BUILD_DIR:-build/mingw}"
if [ "$build" = build/mingw ]; then
  scripts/build.sh || exit 1
else
  scripts/install-packages.sh &&
    kv6_step -q 15 "Building the tool and the simulated launcher in $build" "seconds to minutes" build -- \
      cmake --build "$build" --target KestrovV6-Play kv6_kit || exit 1
fi
# The default Wine 8 and Wine 10 prefixes, made before the launcher starts.
scripts/lanes.sh prepare --default || exit 1

echo "== The pixel route, under Wine 8"
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

echo "== The UI Automation route, under Wine 10 (kit/pages/home-en.page)"
KV6_BUILD_DIR="$build" scripts/replay.sh kit/pages/home-en.page find --timeout 30
uia_code=$?
[ "$code" -ne 0 ] || code=$uia_code
exit $code
