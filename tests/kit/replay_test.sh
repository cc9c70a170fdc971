#!/usr/bin/env bash
# scripts/replay.sh and what it reads.
#   replay_test.sh --tables        its pure parts, without Wine: every SCAN
#                                  field counts in the comparison, a player's
#                                  command is read word by word, the tool's
#                                  --timeout is read as the tool reads it,
#                                  control characters are shown as '?'; and
#                                  add-page's replays over a stand-in
#   replay_test.sh dumps BUILD_FOLDER
#                                  replays of players' dumps under Wine 10: a
#                                  Korean one replays to the player's scan,
#                                  one in an unknown language is said to
#                                  differ
#   replay_test.sh scaled BUILD_FOLDER
#                                  in a lane at 144 DPI: diagnoses made there
#                                  replay at the player's scale
#   replay_test.sh diagnoses BUILD_FOLDER
#                                  replays of players' diagnoses under Wine
#                                  10 (the player's command, picture and
#                                  outcome): kept ones (a sign-in page, one
#                                  cut short, corpus pages that fail under
#                                  Wine 10, made by
#                                  scripts/make-replay-fixtures.sh) and ones
#                                  made fresh that cannot depend on speed (a
#                                  pixel-route run on a launcher without a
#                                  caption, a launcher hung at once)
# Exit code 127 (skipped) when there is no Wine 10 root, or when a replay
# had too few scans for its outcome twice over (inconclusive).
set -u
here="$(cd "$(dirname "$0")" && pwd -P)"
repo="$(cd "$here/../.." && pwd -P)"
replay="$repo/scripts/replay.sh"
status=0

# shellcheck source=tests/kit/script_checks.sh
source "$here/script_checks.sh"

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
find --diagnose --timeout 5	90
find --timeout 7 --diagnose --timeout	7
find --timeout x[$(touch${IFS}/tmp/kv6-ran)]	1
ROWS

    # A player's command: what a replay gives the tool, and what it leaves
    # out (into the arrays replay.sh names). A row: the words ("|" between
    # them), the kept ones, the left-out ones.
    errors="$(mktemp /tmp/kv6-replay-tables.XXXXXX)"
    while IFS=$'\t' read -r line kept left; do
        IFS='|' read -ra words <<<"$line"
        replay_words words kept_words left_words 2>"$errors"
        [ ! -s "$errors" ] || fail "replay words of [$line] warn: $(head -n 1 "$errors")"
        got="$(IFS='|'; echo "${kept_words[*]}")	$(IFS='|'; echo "${left_words[*]-}")"
        [ "$got" = "$kept	$left" ] || fail "replay words of [$line]: $got"
    done <<'ROWS'
press|--timeout|10|--hide|--profile|Kestrov V6	press|--timeout|10|--hide|--profile|Kestrov V6	
find|--diagnose|Z:\work\main\scripts\replay-lib.sh|--timeout|5	find|--timeout|5	--diagnose|Z:\work\main\scripts\replay-lib.sh
press|--shot|x.bmp|--front|Kestrov V6|--hide	press|--hide	--shot|x.bmp|--front|Kestrov V6
find|$(touch /tmp/kv6-ran)|`id`|--timeout	find	$(touch /tmp/kv6-ran)|`id`|--timeout
find|--profile|--diagnose|--diagnose	find|--profile|--diagnose	--diagnose
find|--hide|--hide|--frobnicate	find|--hide|--hide	--frobnicate
find|--diagnose|--hide|--timeout|5	find|--timeout|5	--diagnose|--hide
ROWS
    # What the replay prints of a player's bytes: every control character as
    # '?' (a carriage return, C1 as UTF-8 writes it, bytes that are no
    # UTF-8), in any locale; a line's CR LF end is a line end.
    got="$(LC_ALL=C; printable_words --shot "a b" "" $'\e[2J' "x" $'c\rr' $'\xc2\x9b2J' $'l\nf')"
    [ "$got" = '--shot "a b" "" ?[2J x c?r ?2J l?f' ] ||
        fail "left-out words are printed with control characters as '?': $got"
    got="$(printf 'a\rb\xc2\x9bc\xe2\x82\xac\x9b\xc3\r\nd\te\x7f\r\n' | shown)"
    [ "$got" = $'a?b?c\xe2\x82\xac??\nd?e?' ] || fail "shown: $(printf '%s' "$got" | od -c | head -n 3)"
    # A diagnosis head with a word cut and its note reads as its words.
    printf '#> command find --profile %s --hide\r\n# word 3 of the command was cut: 1023 of its 2000 UTF-8 bytes are kept\r\n' \
        "$(printf '%01023d' 0)" >"$errors.diagnosis"
    read_player_command "$errors.diagnosis" words && [ ${#words[@]} = 4 ] && [ ${#words[2]} = 1023 ] ||
        fail "a head with a cut word reads as its words (${#words[@]} words)"
    rm -f "$errors.diagnosis"

    # Where the player's client area was. A row: the diagnosis's lines ("|"
    # between them), the picture's width and height ("-" for none), what
    # client_area says ("-" when it cannot tell).
    picture="$(mktemp /tmp/kv6-replay-tables.XXXXXX)"
    while IFS=$'\t' read -r lines size said; do
        if [ "$size" = - ]; then : >"$picture"; else
            # shellcheck disable=SC2059  # the headers are escapes
            printf "$(bmp_headers "${size% *}" "-${size#* }")" >"$picture"
        fi
        tr '|' '\n' <<<"$lines" >"$picture.diagnosis"
        got="$(client_area "$picture.diagnosis" "$picture")" || got=-
        [ "$got" = "$said" ] || fail "client area of [$lines] ($size): $got"
    done <<'ROWS'
#> client 103 83 894 594|LOOKED button 297 410 300 64 colour 27873e icon yes	-	103,83,894,594 the diagnosis's "#> client" line
#> client -1913 -8 1936 1056	-	-1913,-8,1936,1056 the diagnosis's "#> client" line
#> 3160 FOUND pixels 400 493 300 64|LOOKED button 297 410 300 64 colour 27873e icon yes	894 594	103,83,894,594 the run's FOUND pixels less the LOOKED button
#> 3160 FOUND pixels 400 493 300 64|LOOKED button 297 410 300 64 colour 27873e icon yes	-	-
#> 3160 FOUND pixels 400 493 300 60|LOOKED button 297 410 300 64 colour 27873e icon yes	894 594	-
#> 3160 FOUND uia 400 493 300 64|LOOKED button 297 410 300 64 colour 27873e icon yes	894 594	-
#> 5 FOUND pixels 400 493 300 64|LOOKED button 297 410 300 64 colour 27873e icon yes	60000 600	-
#> client 0103 83 894 594	-	-
#> client 1 2 3 40000	-	-
#> client x[$(touch${IFS}/tmp/kv6-ran)] 1 2 3	-	-
#> 1 FOUND pixels 0400 493 300 64|LOOKED button 297 410 300 64 colour 27873e icon yes	894 594	-
ROWS
    rm -f "$picture" "$picture.diagnosis" "$errors"
    [ ! -e /tmp/kv6-ran ] || fail "a player's text ran as shell (/tmp/kv6-ran)"

    # A diagnosis cut short by a launcher that stopped (served hung) or one
    # that only ran out of time (served as read). A row: its lines ("|"
    # between them), then what cut_short_reason and out_of_time_reason say.
    while IFS=$'\t' read -r lines stopped slow; do
        tr '|' '\n' <<<"$lines" >"$picture.diagnosis"
        got="$(cut_short_reason "$picture.diagnosis")" || got=-
        [ "$got" = "$stopped" ] || fail "cut short [$lines]: $got"
        got="$(out_of_time_reason "$picture.diagnosis")" || got=-
        [ "$got" = "$slow" ] || fail "out of time [$lines]: $got"
    done <<'ROWS'
UIA stopped answering after 7 elements|# cut short: the launcher stopped answering	UIA stopped answering after 7 elements	-
UIA stopped answering after 0 elements|# cut short: the run's end cut a UI Automation call short and the launcher did not answer, so its UI was not asked again	UIA stopped answering after 0 elements	-
UIA ran out of time after 16 elements|# cut short: the diagnosis ran out of time; the launcher still answered	-	UIA ran out of time after 16 elements
SCAN elements 9 plays 1 pick Play profiles 1 tab yes java yes login 0	-	-
ROWS
    rm -f "$picture.diagnosis"

    # add-page's Chromium find runs as the corpus tests run it: the tool's
    # find alone, with the time-out of the Wine 10 replay, on a launcher
    # started anew with --chromium; its passes are the replays' scans by
    # their outcomes (counted as the root requests of a find of home-en, one
    # scan), and one to spare. The scripts run here over stand-ins for Wine
    # 10, which notes each program it runs (a launcher READY at once, a tool
    # that finds Play after a scan of two root requests; with --chromium it
    # says LOGIN after two scans and NOTFOUND three later, at its time-out's
    # end), and for page_outcome.exe under Wine 8.
    fake="$(mktemp -d /tmp/kv6-replay-tables.XXXXXX)"
    mkdir -p "$fake/scripts" "$fake/tools" "$fake/build" "$fake/pages" "$fake/kit/pages"
    cp "$repo/scripts/add-page.sh" "$repo/scripts/replay.sh" "$repo/scripts/replay-lib.sh" "$fake/scripts/"
    cp "$repo/kit/pages/home-en.page" "$fake/kit/pages/"
    touch "$fake/build/MinecraftLauncher.exe" "$fake/build/KestrovV6-Play.exe" "$fake/build/page_outcome.exe" \
        "$fake/build/windows_exit_code.exe"
    cat >"$fake/tools/wine10-run" <<'FAKE'
#!/usr/bin/env bash
here="${0%/tools/*}"
[[ "$1" != *windows_exit_code.exe ]] || shift
echo "${1##*/} ${*:2}" >>"$here/runs"
if [[ "$1" == *MinecraftLauncher.exe ]]; then
    chromium=0
    for word in "$@"; do
        [ "${previous:-}" != --log ] || { echo READY >"${word#Z:}"; echo "${word#Z:}" >"$here/log"; }
        [ "$word" != --chromium ] || chromium=1
        previous="$word"
    done
    echo "$chromium" >"$here/chromium"
    exec -a MinecraftLauncher.exe sleep 60
fi
[ "$2" != dump ] || printf '%s\n' '[window] "w" 1 2 3 4' 'SCAN elements 1 plays 1 pick Play profiles 0 tab no java no login 0'
[ "$2" = dump ] && exit 0
roots() { for _ in $(seq 1 "$1"); do echo "ROOT 1" >>"$(cat "$here/log")"; done; }
if [ "$(cat "$here/chromium")" = 0 ]; then
    roots 2
    echo "FOUND uia 1 2 3 4"
    exit 0
fi
roots 4
echo LOGIN
sleep 1  # the replay counts the roots as it reads each line
roots 6
echo NOTFOUND
exit 3
FAKE
    cat >"$fake/tools/wine-run" <<'FAKE'
#!/usr/bin/env bash
case "$2" in
    stated) echo "passes 16 unstated"; exit 1 ;;
    timeout) echo 30 ;;
    outcome) lines="$(tr -d '\r' | grep -E '^(FOUND|NOTFOUND|LOGIN)' | paste -s -d ';' | sed 's/;/; /g')"; echo "${lines:+$lines }exit $3" ;;
    judge) echo wrong; exit 2 ;;
esac
FAKE
    chmod +x "$fake/tools/wine10-run" "$fake/tools/wine-run"
    printf '%s\n' '#> command find --timeout 1' '#> 900 NOTFOUND' '#> exit 2' '[window] "w" 1 2 3 4' >"$fake/player.diagnosis"
    KV6_BUILD_DIR="$fake/build" KV6_PAGES_DIR="$fake/pages" "$fake/scripts/add-page.sh" "$fake/player.diagnosis" fake \
        >"$fake/add-page.out" 2>&1 || fail "add-page over the stand-in: $(tail -n 3 "$fake/add-page.out")"
    runs="$(grep '^KestrovV6-Play.exe find ' "$fake/runs" | tr '\n' '|')"
    last_two="$(tail -n 2 "$fake/runs" | sed 's/^\(MinecraftLauncher.exe\) .* \(--chromium\)$/\1 \2/')"
    [ "$runs" = "KestrovV6-Play.exe find --timeout 60|KestrovV6-Play.exe find --timeout 30|KestrovV6-Play.exe find --timeout 30|" ] &&
        [ "$last_two" = "MinecraftLauncher.exe --chromium
KestrovV6-Play.exe find --timeout 30" ] || fail "add-page's Chromium replay has the Wine 10 replay's time-out: $(tail -n 3 "$fake/runs" | tr '\n' '|')"
    [ "$(grep '^#!' "$fake/pages/fake.page" | tr '\n' '|')" = "#! passes: 3|#! find windows: NOTFOUND exit 2|#! find wine10: FOUND uia 1 2 3 4 exit 0|#! find chromium: LOGIN; NOTFOUND exit 3|" ] ||
        fail "add-page's passes are the replays' most scans by their outcome and one more: $(grep '^#!' "$fake/pages/fake.page" | tr '\n' '|')"
    rm -rf "$fake"

    # The replay's bounds are the simulator's reader's (kit/player_file.h).
    bounds="$repo/kit/player_file.h"
    grep -q "MAX_PICTURE_FILE_BYTES == ${REPLAY_PICTURE_MAX_BYTES}ULL" "$bounds" &&
        grep -q "MAX_PAGE_FILE_BYTES = 16 << 20" "$bounds" && [ "$REPLAY_PAGE_MAX_BYTES" = $((16 << 20)) ] &&
        grep -q "MAX_PICTURE_SIDE = $REPLAY_PICTURE_MAX_SIDE," "$bounds" ||
        fail "replay-lib.sh's bounds are kit/player_file.h's"

    # Every script the README or docs/ names, and that runs (a "#!" line),
    # keeps its run bit in the repository: the pages run them as they are.
    while read -r named; do
        [ -f "$repo/$named" ] && [ "$(head -c 2 "$repo/$named")" = '#!' ] || continue
        if git -C "$repo" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
            mode="$(git -C "$repo" ls-files -s -- "$named" | cut -d ' ' -f 1)"
        else
            mode="$([ -x "$repo/$named" ] && echo 100755)"
        fi
        [ "$mode" = 100755 ] || fail "$named, which the README or docs/ names, has no run bit (mode ${mode:-none})"
    done < <(grep -h -o -E '(scripts|tools|tests)/[A-Za-z0-9_/.-]*[A-Za-z0-9]' "$repo/README.md" "$repo"/docs/*.md | sort -u)
    [ "$status" = 0 ] && echo "PASS"
    exit "$status"
fi

export KV6_BUILD_DIR="$2"
root="${KV6_WINE10_ROOT:-${KV6_CACHE:-${HOME:-/root}/.cache}/kestrov-trixie}"
if [ ! -f "$root/.kestrov-wine10-ready" ]; then
    echo "no Wine 10 root at $root: skipped"
    exit 127
fi
work="$(mktemp -d /tmp/kv6-replay-test.XXXXXX)"
trap 'rm -rf "$work"' EXIT
# shellcheck source=scripts/replay-lib.sh
source "$repo/scripts/replay-lib.sh"

# A replay in real time may have too few scans for its outcome on a slow
# machine. replay NEEDED FILE [ARGS...] replays FILE into $output, giving
# the tool NEEDED passes (KV6_REPLAY_PASSES; 0: the replay's own). It is
# inconclusive when it gave less than the player's outcome after fewer
# scans than NEEDED (the launcher's root requests, $per_scan a scan), or
# its dump's scan did not finish: then it runs once more with twice the
# passes, and still short it is counted, said and skipped, never passed or
# failed. 1 when inconclusive.
inconclusive=0
per_scan=1
replay() {
    local needed="$1" file="$2" try roots
    shift 2
    for try in 1 2; do
        output="$(KV6_REPLAY_PASSES="$((needed * try))" "$replay" "$file" "$@" 2>&1 | tr -d '\r')"
        roots="$(sed -n 's/^REPLAY the launcher had \([0-9]*\) root requests .*/\1/p' <<<"$output")"
        if ! grep -q "^REPLAY could not compare with the player's scan: the replay's did not finish" <<<"$output" &&
            { ! grep -q "^REPLAY gives less than the player's outcome" <<<"$output" ||
                [ "${roots:-0}" -ge $((needed * per_scan)) ]; }; then
            return 0
        fi
        echo "INCONCLUSIVE: the replay of ${file##*/} had $((${roots:-0} / per_scan)) scans (it needs $needed)$([ "$try" = 1 ] && echo ", once more with twice the passes"):"
        echo "$output"
    done
    inconclusive=$((inconclusive + 1))
    return 1
}

# The replay's time-out (in OUTPUT) is the corpus's rule for the passes and
# the scan its line names (the scan shown to a tenth of a second).
timeout_is_the_rule() {
    local re="^REPLAY gives the tool --timeout ([0-9]+) where the player's run had [0-9]+: ([0-9]+) passes \(.*\) at a scan of ([0-9]+)\.([0-9]) s here$"
    local line ms low high
    line="$(grep -m 1 '^REPLAY gives the tool --timeout' <<<"$1")"
    if [[ ! "$line" =~ $re ]]; then
        fail "$2: the replay says the time-out it gives the tool: [$line]"
        return
    fi
    ms=$((BASH_REMATCH[3] * 1000 + BASH_REMATCH[4] * 100))
    low="$(page_outcome timeout "${BASH_REMATCH[2]}" $((ms > 50 ? ms - 50 : 0)))"
    high="$(page_outcome timeout "${BASH_REMATCH[2]}" $((ms + 50)))"
    [ "${BASH_REMATCH[1]}" -ge "${low:-1}" ] && [ "${BASH_REMATCH[1]}" -le "${high:-0}" ] ||
        fail "$2: the replay's time-out is the corpus's rule ($low to $high s): $line"
}

# The passes a corpus page's outcomes need, as the replay of a file made
# from it gets them.
page_passes() {
    page_outcome stated find wine10 <"$repo/kit/pages/$1.page" | sed -n '1s/^passes \([0-9]*\).*/\1/p'
}

# Replays the rows on standard input, FILE|NEEDED|WANTED: the file (in
# $work), the passes its outcome needs (0 for one that cannot depend on
# speed), then a line the replay must print.
replay_rows() {
    local file needed wanted previous="" conclusive=1
    while IFS='|' read -r file needed wanted; do
        if [ "$file" != "$previous" ]; then
            previous="$file"
            conclusive=1
            replay "$needed" "$work/$file" || conclusive=0
            [ "$conclusive" = 0 ] || echo "$output"
            [ "$conclusive" = 0 ] || [ "$file" != sign-in.diagnosis ] || timeout_is_the_rule "$output" "$file"
            [ "$conclusive" = 0 ] || expect "$(grep -A 1 '^exit code ' <<<"$output" | tail -n 1)" \
                "^REPLAY (gives|gives less than|differs from|cannot give) the player's outcome" \
                "$file: the outcome's line follows the exit code"
        fi
        [ "$conclusive" = 0 ] || expect "$output" "$wanted" "$file: $wanted"
    done
}

if [ "$1" = dumps ]; then
    # A Korean dump replays to the player's scan, one in an unknown language
    # differs and names what the reader does not know.
    if replay 0 "$here/replay/korean.page" dump; then
        echo "$output"
        expect "$output" "^REPLAY agrees with the player's scan: SCAN " "the Korean dump replays to the player's scan"
        refuse "$output" "^(UNKNOWN|UNTYPED) " "every Korean type is known"
        expect "$output" "^SCAN " "the tool ran dump (its SCAN line)"
        refuse "$output" "^FOUND " "the tool ran dump, not the default find"
        refuse "$output" "^REPLAY gives the tool --timeout" "a dump keeps its time"
        expect "$output" "^WINDOW Chrome_WidgetWin_1 \"Minecraft Launcher\" .* \(this one\)$" "the launcher's window has the dump's class"
        expect "$output" "^  CHILD Chrome_RenderWidgetHostHWND \"Chrome Legacy Window\" 128 121 964 661$" "the launcher's child has the dump's class and place"
    fi
    # Kestrov V6 is not on the page: only the --profile given finds Play, at
    # the first look.
    if replay 0 "$here/replay/unknown-language.page" find --profile "Other Profile" --timeout 20; then
        echo "$output"
        expect "$output" "^UNKNOWN type \"kind-ti\": 2 elements; add \"## type=NAME\" to its lines$" "the unknown tab item type is named with its count"
        expect "$output" "^UNKNOWN type \"kind-x\": 1 element; " "each unknown type has its own line"
        refuse "$output" "^UNKNOWN type \"document\"" "a known type is not reported"
        expect "$output" "^REPLAY differs from the player's scan: .*plays 2 \(player 1\)" "the extra Play candidate is named"
        expect "$output" "^REPLAY differs from the player's scan: .*tab no \(player yes\)" "the lost Play tab is named"
        expect "$output" "^FOUND uia 600 680 220 64$" "the tool got --profile"
        expect "$output" "^exit code 0$" "find ends with exit code 0"
        longer="$(sed -n "s/^REPLAY gives the tool --timeout \([0-9]*\) where the player's run had 20: [0-9]* passes (as for a page that states none) at a scan of [0-9.]* s here$/\1/p" <<<"$output")"
        [ -n "$longer" ] || fail "the replay gives the tool the time-out of a page that states no passes"
        timeout_is_the_rule "$output" "unknown-language.page"
        expect "$output" "^\\\$ KestrovV6-Play.exe find --profile Other Profile --timeout ${longer:-x}$" "the tool runs with the replay's time-out in place of the player's"
    fi
elif [ "$1" = scaled ]; then
    # Diagnoses made on a screen at 144 DPI (this lane's) against a
    # per-monitor-aware and a DPI-unaware launcher: served at the player's
    # scale and awareness, they replay to the player's window and outcome.
    cp "$here"/replay/home-en-150-*.diagnosis "$work/"
    other="$(page_passes other-profile)"
    read -r per_scan _ < <(one_scan) || fail "a find of home-en finds Play at its first look"
    replay_rows <<ROWS
home-en-150-aware.diagnosis|$other|^REPLAY serves the launcher at the player's scale: 144 DPI, per-monitor-aware
home-en-150-aware.diagnosis|$other|^  DPI window 144 aware$
home-en-150-aware.diagnosis|$other|^WINDOW 150 120 1500 1050 Minecraft Launcher$
home-en-150-aware.diagnosis|$other|^REPLAY gives the player's outcome: NOT_SELECTED; NOTFOUND exit 2$
home-en-150-unaware.diagnosis|$other|^REPLAY serves the launcher at the player's scale: 144 DPI, unaware
home-en-150-unaware.diagnosis|$other|^  DPI window 96 unaware$
home-en-150-unaware.diagnosis|$other|^WINDOW 150 120 1500 1050 Minecraft Launcher$
home-en-150-unaware.diagnosis|$other|^REPLAY gives the player's outcome: NOT_SELECTED; NOTFOUND exit 2$
ROWS
else
    # A pixel-route run on a launcher without a caption, whose client area
    # starts higher in its window than the replay's: its diagnosis, made fresh
    # by the real tool, replays to the player's FOUND pixels when the replay
    # puts its client area where the player's was. The run's end takes a last
    # picture however few looks it had: its outcome cannot depend on speed.
    tool() {
        "$repo/tools/wine10-run" "$KV6_BUILD_DIR/KestrovV6-Play.exe" "$@"
    }
    "$repo/tools/wine10-run" "$KV6_BUILD_DIR/MinecraftLauncher.exe" --no-caption --chrome-child --marker --on-click ignore \
        --x 100 --y 80 --width 900 --height 600 --log "Z:$work/player-launcher.log" --lifetime-ms 120000 >/dev/null 2>&1 &
    player_launcher=$!
    for _ in $(seq 1 1200); do
        grep -q READY "$work/player-launcher.log" 2>/dev/null && break
        kill -0 "$player_launcher" 2>/dev/null || break
        sleep 0.1
    done
    output="$(tool press --timeout 8 --diagnose "Z:$work/no-caption.diagnosis" | tr -d '\r')"
    echo "$output"
    tool close >/dev/null
    wait "$player_launcher"
    found="$(grep -m 1 '^FOUND pixels ' <<<"$output")"
    expect "$output" "^STUCK$" "the player's run on a launcher without a caption ends STUCK"
    # Its render widget covers the client area: the player's client area on screen.
    client="$(tr -d '\r' <"$work/no-caption.diagnosis" | sed -n 's/^  CHILD Chrome_RenderWidgetHostHWND "[^"]*" //p')"
    [[ "$client" =~ ^-?[0-9]+\ -?[0-9]+\ [0-9]+\ [0-9]+$ ]] || fail "the player's diagnosis gives the client area in a CHILD line: [$client]"

    # A launcher that hangs at once, made fresh: its diagnosis is cut short,
    # and so is the replay's launcher.
    KV6_REPLAY_LAUNCHER_ARGS="--hang-after-ms 1" "$replay" "$repo/kit/pages/home-en.page" find --timeout 8 \
        --diagnose "Z:$work/home-en-hung.diagnosis" >"$work/home-en-hung.out" 2>&1
    expect "$(cat "$work/home-en-hung.out")" "^DIAGNOSIS Z:$work/home-en-hung.diagnosis" "the hung run says where its diagnosis is"

    # Players' diagnoses, each with its picture beside it when it has one: the
    # kept ones (tests/kit/replay; other-profile and sign-in-green made by
    # scripts/make-replay-fixtures.sh) and the fresh ones. A row: the file,
    # the passes its outcome needs (its corpus page's; 0 for one that cannot
    # depend on speed), then what the replay must print.
    cp "$here"/replay/*.diagnosis "$here"/replay/*.diagnosis.bmp "$work/"
    for fixture in other-profile sign-in-green; do
        [ -s "$work/$fixture.diagnosis.bmp" ] || fail "the kept $fixture diagnosis has its picture"
    done
    sign_in="$(page_passes sign-in-green)"
    other="$(page_passes other-profile)"
    [ -n "$sign_in" ] && [ -n "$other" ] || fail "the corpus pages' passes (page_outcome.exe)"
    read -r per_scan _ < <(one_scan) || fail "a find of home-en finds Play at its first look"
    echo "One scan makes ${per_scan:=1} root requests here"
    replay_rows <<ROWS
sign-in.diagnosis|$sign_in|^REPLAY agrees with the player's scan: SCAN elements 8 plays 0 pick - profiles 0 tab no java no login 2$
sign-in.diagnosis|$sign_in|^REPLAY gives the tool --timeout [0-9]+ where the player's run had 8: 
sign-in.diagnosis|$sign_in|^\\\$ KestrovV6-Play.exe find --timeout [0-9]+$
sign-in.diagnosis|$sign_in|^REPLAY gives the player's outcome: LOGIN; NOTFOUND exit 3$
sign-in-green.diagnosis|$sign_in|^REPLAY gives the player's outcome: LOGIN; NOTFOUND exit 3$
other-profile.diagnosis|$other|^REPLAY gives the player's outcome: NOT_SELECTED; NOTFOUND exit 2$
home-en-hung.diagnosis|0|^REPLAY the player's diagnosis was cut short: UIA stopped answering after 0 elements; the replay's launcher stops answering at once$
home-en-hung.diagnosis|0|^REPLAY gives the player's outcome: NOTFOUND exit 2$
no-caption.diagnosis|0|^REPLAY places the launcher's client area where the player's was: $client \(from the diagnosis's "#> client" line\)$
no-caption.diagnosis|0|^REPLAY gives the tool --timeout [0-9]+ where the player's run had 8: [0-9]+ passes \(as for a page that states none\)
no-caption.diagnosis|0|^REPLAY gives the player's outcome: $found; STUCK exit 4$
ROWS
fi

if [ "$status" = 0 ] && [ "$inconclusive" -gt 0 ]; then
    echo "INCONCLUSIVE: $inconclusive replays had too few scans for their outcome twice over: skipped"
    exit 127
fi
[ "$status" = 0 ] && echo "PASS"
exit "$status"
