#!/usr/bin/env bash
# scripts/replay.sh and what it reads.
#   replay_test.sh --tables        its pure parts, without Wine: every SCAN
#                                  field counts in the comparison, a player's
#                                  command is read word by word, the tool's
#                                  --timeout is read as the tool reads it
#   replay_test.sh BUILD_FOLDER    replays under Wine 10: players' dumps (a
#                                  Korean one replays to the player's scan,
#                                  one in an unknown language is said to
#                                  differ) and players' diagnoses (the
#                                  player's command, picture and outcome)
# Exit code 127 (skipped) when there is no Wine 10 root.
set -u
here="$(cd "$(dirname "$0")" && pwd -P)"
repo="$(cd "$here/../.." && pwd -P)"
replay="$repo/scripts/replay.sh"
status=0

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

if [ "${1:-}" = --tables ]; then
    # shellcheck source=scripts/replay-lib.sh
    source "$repo/scripts/replay-lib.sh"

    # The replay's SCAN line differs from the player's in one field a row
    # (FROM becomes TO); the comparison must name it.
    player='SCAN elements 9 plays 1 pick Play (Kestrov V6 beside it) profiles 1 tab yes java yes login 0'
    while IFS='|' read -r from to said; do
        got="$("$replay" --compare-scans "$player"$'\r' "${player/"$from"/"$to"}")"
        [ "$got" = "REPLAY differs from the player's scan: $said" ] || fail "$from -> $to: $got"
    done <<'ROWS'
elements 9|elements 10|elements 10 (player 9)
plays 1|plays 2|plays 2 (player 1)
pick Play|pick Jouer maintenant|pick Jouer maintenant (player Play)
 (Kestrov V6 beside it)||beside no (player yes)
profiles 1|profiles 0|profiles 0 (player 1)
tab yes|tab no|tab no (player yes)
java yes|java no|java no (player yes)
login 0|login 2|login 2 (player 0)
ROWS
    while IFS='|' read -r theirs ours said; do
        got="$("$replay" --compare-scans "$theirs" "$ours")"
        [ "$got" = "$said" ] || fail "$theirs / $ours: $got"
    done <<ROWS
$player|$player|REPLAY agrees with the player's scan: $player
SCAN unfinished after 4 elements|$player|REPLAY could not compare with the player's scan: theirs did not finish (SCAN unfinished after 4 elements)
$player|SCAN unfinished after 4 elements|REPLAY could not compare with the player's scan: the replay's did not finish (SCAN unfinished after 4 elements)
$player||REPLAY could not compare with the player's scan: the replay printed no SCAN line
ROWS

    # A "#> command" line and its words, "|" between them; "-" for a line
    # that must be refused.
    while IFS=$'\t' read -r line said; do
        if joined="$(set -o pipefail; command_words "$line" | tr "\0" "|")"; then got="${joined%|}"; else got=-; fi
        [ "$got" = "$said" ] || fail "command words of [$line]: $got"
    done <<'ROWS'
find --profile "Other Profile" --timeout 20	find|--profile|Other Profile|--timeout|20
press "" "say ""hi""" --hide	press||say "hi"|--hide
find "$(touch /tmp/x)" `id` ;	find|$(touch /tmp/x)|`id`|;
find "no end	-
find a"b	-
find "a"b	-
ROWS

    # The tool's time-out among its words, as the tool reads its options.
    while IFS=$'\t' read -r line said; do
        read -ra words <<<"$line"
        got="$(tool_timeout "${words[@]}")"
        [ "${got% *}" = "$said" ] || fail "time-out of [$line]: $got"
    done <<'ROWS'
find	90
find --timeout 15s --hide	15
find --timeout 20 --timeout 7	7
find --profile --timeout --timeout 5000	900
press --front --timeout --timeout -4	1
ROWS
    [ "$status" = 0 ] && echo "PASS"
    exit "$status"
fi

export KV6_BUILD_DIR="$1"
root="${KV6_WINE10_ROOT:-${KV6_CACHE:-${HOME:-/root}/.cache}/kestrov-trixie}"
if [ ! -f "$root/.kestrov-wine10-ready" ]; then
    echo "no Wine 10 root at $root: skipped"
    exit 127
fi
work="$(mktemp -d /tmp/kv6-replay-test.XXXXXX)"
trap 'rm -rf "$work"' EXIT

output="$("$replay" "$here/replay/korean.page" dump 2>&1 | tr -d '\r')"
echo "$output"
expect "$output" "^REPLAY agrees with the player's scan: SCAN " "the Korean dump replays to the player's scan"
refuse "$output" "^(UNKNOWN|UNTYPED) " "every Korean type is known"
expect "$output" "^SCAN " "the tool ran dump (its SCAN line)"
refuse "$output" "^FOUND " "the tool ran dump, not the default find"
refuse "$output" "^REPLAY gives the tool --timeout" "a dump keeps its time"
expect "$output" "^WINDOW Chrome_WidgetWin_1 \"Minecraft Launcher\" .* \\(this one\\)$" "the launcher's window has the dump's class"
expect "$output" "^  CHILD Chrome_RenderWidgetHostHWND \"Chrome Legacy Window\" 128 121 964 661$" "the launcher's child has the dump's class and place"

output="$("$replay" "$here/replay/unknown-language.page" find --profile "Other Profile" --timeout 20 2>&1 | tr -d '\r')"
echo "$output"
expect "$output" "^UNKNOWN type \"kind-ti\": 2 elements; add \"## type=NAME\" to its lines$" "the unknown tab item type is named with its count"
expect "$output" "^UNKNOWN type \"kind-x\": 1 element; " "each unknown type has its own line"
refuse "$output" "^UNKNOWN type \"document\"" "a known type is not reported"
expect "$output" "^REPLAY differs from the player's scan: .*plays 2 \\(player 1\\)" "the extra Play candidate is named"
expect "$output" "^REPLAY differs from the player's scan: .*tab no \\(player yes\\)" "the lost Play tab is named"
# Kestrov V6 is not on the page: only the --profile given finds Play at once.
expect "$output" "^FOUND uia 600 680 220 64$" "the tool got --profile"
expect "$output" "^exit code 0$" "find ends with exit code 0"
longer="$(sed -n "s/^REPLAY gives the tool --timeout \([0-9]*\) where the player's run had 20: Wine 10's client is slower (a scan took [0-9.]* s)$/\1/p" <<<"$output")"
[ "${longer:-0}" -gt 20 ] || fail "the replay gives the tool more time than the player's 20 s"
expect "$output" "^\\\$ KestrovV6-Play.exe find --profile Other Profile --timeout ${longer:-x}$" "the tool runs with the longer time-out in place of the player's"

# Players' diagnoses, each with its picture beside it when it has one. A
# row: the file, then what the replay must print.
cp "$here"/replay/*.diagnosis "$work/"
for picture in "$here"/replay/*.diagnosis.bmp.gz; do
    gunzip -c "$picture" >"$work/$(basename "$picture" .gz)"
done
previous=""
while IFS='|' read -r file wanted; do
    if [ "$file" != "$previous" ]; then
        previous="$file"
        output="$("$replay" "$work/$file" 2>&1 | tr -d '\r')"
        echo "$output"
        # The verdict on the outcome comes right after the tool's exit code.
        expect "$(grep -A 1 '^exit code ' <<<"$output" | tail -n 1)" "^REPLAY (gives|differs from) the player's outcome: " \
            "$file: the outcome's line follows the exit code"
        expect "$output" "^REPLAY gives the tool --timeout [0-9]+ where the player's run had [0-9]+: " "$file: a longer time-out"
    fi
    expect "$output" "$wanted" "$file: $wanted"
done <<'ROWS'
sign-in.diagnosis|^REPLAY agrees with the player's scan: SCAN elements 8 plays 0 pick - profiles 0 tab no java no login 2$
sign-in.diagnosis|^\$ KestrovV6-Play.exe find --timeout [0-9]+$
sign-in.diagnosis|^REPLAY gives the player's outcome: LOGIN; NOTFOUND; exit 3$
home-pixels.diagnosis|^REPLAY gives the player's outcome: FOUND pixels 600 664 220 60; exit 0$
cut-short.diagnosis|^REPLAY the player's diagnosis was cut short: UIA stopped answering after 7 elements$
cut-short.diagnosis|^REPLAY differs from the player's outcome: (POPUP\? Escape; )+NOTFOUND; exit 2 \(player NOTFOUND; exit 2\)$
ROWS

# Runs of corpus pages that fail under Wine 10 write their diagnosis, and the
# diagnosis replays as that run. A row: the page, the tool's time-out, the
# launcher's arguments, what the replay of the diagnosis must print.
while IFS='|' read -r name seconds faults wanted; do
    file="$work/$name.diagnosis"
    output="$(KV6_REPLAY_LAUNCHER_ARGS="$faults" "$replay" "$repo/kit/pages/$name.page" find --timeout "$seconds" --diagnose "Z:$file" 2>&1 | tr -d '\r')"
    expect "$output" "^DIAGNOSIS Z:$file$" "$name: the run says where its diagnosis is"
    # A hung launcher gives no picture.
    [ -n "$faults" ] || [ -s "$file.bmp" ] || fail "$name: the diagnosis has its picture beside it"
    output="$("$replay" "$file" 2>&1 | tr -d '\r')"
    echo "$output"
    expect "$output" "^REPLAY gives the player's outcome: " "$name: the replay gives the player's outcome"
    expect "$output" "$wanted" "$name: $wanted"
done <<'ROWS'
sign-in-green|8||^REPLAY gives the player's outcome: LOGIN; NOTFOUND; exit 3$
other-profile|20||^REPLAY gives the player's outcome: NOT_SELECTED; NOTFOUND; exit 2$
home-en|8|--hang-after-ms 1|^REPLAY the player's diagnosis was cut short: UIA stopped answering after 0 elements$
ROWS

[ "$status" = 0 ] && echo "PASS"
exit "$status"
