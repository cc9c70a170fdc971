#!/usr/bin/env bash
# CPU cost of the press tool while it waits for a launcher that never
# appears, with and without --hide. Reads the Linux process's CPU ticks from
# /proc over 10 s of waiting, after its start-up is over; also gives the
# wineserver's share, which the tool's window calls cause under Wine.
#   tests/press/press_cpu_benchmark.sh BUILD_DIR
# Uses KV6_DISPLAY / KV6_WINEPREFIX like tools/wine-run. Goal: under 2%.
set -euo pipefail
build="${1:?usage: $0 BUILD_DIR}"
root="$(cd "$(dirname "$0")/../.." && pwd)"
tick_hz=$(getconf CLK_TCK)
prefix="${KV6_WINEPREFIX:-$HOME/.cache/kestrov-wine}"

cpu_ticks() {  # utime + stime of a pid
    awk '{print $14 + $15}' "/proc/$1/stat"
}

measure() {
    local label="$1"; shift
    "$root/tools/wine-run" "$build/KestrovV6-Play.exe" press --timeout 14 "$@" >/dev/null 2>&1 &
    local runner=$!
    # tools/wine-run execs wine, which becomes the tool: same pid.
    local pid=$runner
    sleep 1
    tr '\0' ' ' < "/proc/$pid/cmdline" | grep -q "KestrovV6-Play.exe" || { echo "tool not found"; return 1; }
    local server="" candidate
    for candidate in $(pgrep wineserver); do  # the one of this prefix
        if tr '\0' '\n' < "/proc/$candidate/environ" 2>/dev/null | grep -qx "WINEPREFIX=$prefix"; then
            server=$candidate
        fi
    done
    [ -n "$server" ] || server=$pid  # not found: count the tool twice rather than fail
    sleep 2  # start-up over
    local t0 s0 w0 t1 s1 w1
    t0=$(cpu_ticks "$pid"); s0=$(cpu_ticks "$server"); w0=$(date +%s%N)
    sleep 10
    t1=$(cpu_ticks "$pid"); s1=$(cpu_ticks "$server"); w1=$(date +%s%N)
    wait "$runner" || true
    awk -v t=$((t1 - t0)) -v s=$((s1 - s0)) -v w=$(((w1 - w0) / 1000000)) -v hz="$tick_hz" -v label="$label" \
        'BEGIN { printf "%-22s tool %6.0f ms CPU in %5d ms = %5.2f%% of one core; wineserver %6.0f ms = %5.2f%%\n",
                 label, t * 1000 / hz, w, 100 * t * 1000 / hz / w, s * 1000 / hz, 100 * s * 1000 / hz / w }'
}

measure "waiting, no --hide:"
measure "waiting, --hide:" --hide
