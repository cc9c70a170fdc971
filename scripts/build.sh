#!/usr/bin/env bash
# Installs what is missing, then configures and builds build/mingw. Each long
# step prints what it is and what it usually costs when it starts, a "still"
# line while it runs, and what it cost when it ends; its full output goes to
# build/logs (scripts/step.sh). With everything there it prints one line.
# KV6_LANE_BASE and KV6_LANE_PREFIXES, when set, go to the configure (the
# test lanes' first display and the folder of their Wine prefixes), also
# into a build that was configured before.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/step.sh
scripts/install-packages.sh

configure=(cmake --preset mingw)
[ -z "${KV6_LANE_BASE:-}" ] || configure+=("-DKV6_LANE_BASE=$KV6_LANE_BASE")
[ -z "${KV6_LANE_PREFIXES:-}" ] || configure+=("-DKV6_LANE_PREFIXES=$KV6_LANE_PREFIXES")
if [ -f build/mingw/CMakeCache.txt ]; then
  kv6_step -Q 10 "Configuring build/mingw again" "a few seconds" configure -- "${configure[@]}"
else
  kv6_step "Configuring build/mingw" "a few seconds" configure -- "${configure[@]}"
fi
if [ -f build/mingw/KestrovV6-Play.exe ]; then
  kv6_step -q 15 "Building what changed in build/mingw" "seconds, a few minutes after a big change" \
    build -- cmake --build --preset mingw
else
  kv6_step "Building build/mingw: the tool, the simulated launcher and the tests" \
    "3 minutes on 2 idle cores, 10 when they are busy" build -- cmake --build --preset mingw
fi
