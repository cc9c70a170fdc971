#!/usr/bin/env bash
# scripts/replay.sh against players' dumps, under Wine 10: a dump with Korean
# control types replays to the player's own scan; one in a language the page
# reader does not know is said to differ, with the unknown types named. Each
# run also shows that the tool got the replay's arguments (a `dump`, and a
# `find` whose --profile changes the outcome) and that the launcher took the
# dump's window classes.
#   replay_test.sh BUILD_FOLDER
# Exit code 127 (skipped) when there is no Wine 10 root.
set -u
here="$(cd "$(dirname "$0")" && pwd -P)"
repo="$(cd "$here/../.." && pwd -P)"
export KV6_BUILD_DIR="$1"
status=0
root="${KV6_WINE10_ROOT:-${KV6_CACHE:-${HOME:-/root}/.cache}/kestrov-trixie}"
if [ ! -f "$root/.kestrov-wine10-ready" ]; then
    echo "no Wine 10 root at $root: skipped"
    exit 127
fi

fail() {
    echo "FAIL: $1"
    status=1
}

# expect OUTPUT 'grep -E pattern' what-it-shows
expect() {
    grep -qE -- "$2" <<<"$1" || fail "$3"
}

refuse() {
    ! grep -qE -- "$2" <<<"$1" || fail "$3"
}

output="$("$repo/scripts/replay.sh" "$here/replay/korean.page" dump 2>&1 | tr -d '\r')"
echo "$output"
expect "$output" "^REPLAY agrees with the player's scan: SCAN " "the Korean dump replays to the player's scan"
refuse "$output" "^(UNKNOWN|UNTYPED) " "every Korean type is known"
expect "$output" "^SCAN " "the tool ran dump (its SCAN line)"
refuse "$output" "^FOUND " "the tool ran dump, not the default find"
expect "$output" "^WINDOW Chrome_WidgetWin_1 \"Minecraft Launcher\" .* \\(this one\\)$" "the launcher's window has the dump's class"
expect "$output" "^  CHILD Chrome_RenderWidgetHostHWND \"Chrome Legacy Window\" 128 121 964 661$" "the launcher's child has the dump's class and place"

output="$("$repo/scripts/replay.sh" "$here/replay/unknown-language.page" find --profile "Other Profile" --timeout 20 2>&1 | tr -d '\r')"
echo "$output"
expect "$output" "^UNKNOWN type \"kind-ti\": 2 elements; add \"## type=NAME\" to its lines$" "the unknown tab item type is named with its count"
expect "$output" "^UNKNOWN type \"kind-x\": 1 element; " "each unknown type has its own line"
refuse "$output" "^UNKNOWN type \"document\"" "a known type is not reported"
expect "$output" "^REPLAY differs from the player's scan: .*plays 2 \\(player 1\\)" "the extra Play candidate is named"
expect "$output" "^REPLAY differs from the player's scan: .*tab no \\(player yes\\)" "the lost Play tab is named"
# Kestrov V6 is not on the page: only the --profile given finds Play at once.
expect "$output" "^FOUND uia 600 680 220 64$" "the tool got --profile"
expect "$output" "^exit code 0$" "find ends with exit code 0"

[ "$status" = 0 ] && echo "PASS"
exit "$status"
