#!/usr/bin/env bash
# A player's files are hostile input for the scripts that read them,
# scripts/replay.sh and scripts/add-page.sh, run as docs/replay.md writes them
# (their run bit included). Each row a hostile file and what the replay or
# add-page must say; after all of them, nothing was written outside the
# scratch folders (a canary in a watched folder, which the player's command
# names) and nothing ran as shell (names, command words and paths that would
# touch a marker if a shell read them). Control characters in the names the
# simulator logs show as '?'.
#   hostile_files_test.sh BUILD_FOLDER
# Exit code 127 (skipped) when there is no Wine 10 root.
set -u
here="$(cd "$(dirname "$0")" && pwd -P)"
repo="$(cd "$here/../.." && pwd -P)"
status=0
# shellcheck source=tests/kit/script_checks.sh
source "$here/script_checks.sh"

export KV6_BUILD_DIR="$1"
# What the tool finds is not what this test holds: its replays and
# add-page's get the passes a corpus page found at its first look states,
# not the many of a page that states none.
export KV6_REPLAY_PASSES=3
root="${KV6_WINE10_ROOT:-${KV6_CACHE:-${HOME:-/root}/.cache}/kestrov-trixie}"
if [ ! -f "$root/.kestrov-wine10-ready" ]; then
    echo "no Wine 10 root at $root: skipped"
    exit 127
fi
scratch="$(mktemp -d /tmp/kv6-hostile.XXXXXX)"
trap 'rm -rf "$scratch"' EXIT
files="$scratch/files"
watched="$scratch/watched"
runs="$scratch/runs"   # the scripts' working folder: a relative marker lands here
mkdir -p "$files" "$watched" "$runs" "$scratch/pages"
echo "the canary" >"$watched/canary"
marker="$scratch/ran"  # what the shell in a player's text would touch
watched_windows="Z:${watched//\//\\}"

# A diagnosis with a small page: a window, Play, and its profile beside it.
# $1: its "#> command" line's words; $2: a line to add to the page.
diagnosis() {
    cat <<EOF
# A hostile diagnosis.
#> command $1
#> 300 WINDOW 100 80 1000 700 Minecraft Launcher
#> 9000 NOTFOUND
#> exit 2
WINDOW Chrome_WidgetWin_1 "Minecraft Launcher" 100 80 1000 700 C:\\Minecraft\\MinecraftLauncher.exe (this one)
[window] "Minecraft Launcher" 100 80 1000 700
  [document] "Minecraft Launcher" 104 103 992 673
    [text] "Kestrov V6" 560 680 40 20
    [button] "Play" 600 664 220 60
${2:-}
EOF
}

# Shell in every place a player writes: their command's words and values,
# the launcher's title, an element's name, the file's own name; writing
# options that name the watched folder (another profile stands beside Play,
# so the run ends NOTFOUND and a --diagnose would write); a picture that
# claims 60000 x 60000.
shell_file="$files/\$(touch ran-path) \`touch ran-tick\`.diagnosis"
diagnosis "find --timeout 3 --diagnose $watched_windows\\canary --shot $watched_windows\\shot.bmp \"\$(touch $marker-word)\" \`touch $marker-tick\` --front \"\$(touch $marker-front)\" --profile \"Kestrov V6\" --timeout x[\$(touch\${IFS}$marker-arith)]" \
    "    [button] \"\$(touch $marker-name) \`touch $marker-name-tick\`\" 300 300 100 40" |
    sed -e 's|^WINDOW Chrome_WidgetWin_1 "Minecraft Launcher"|WINDOW Chrome_WidgetWin_1 "$(touch '"$marker"'-title)"|' \
        -e 's|\[text\] "Kestrov V6"|[text] "Someone Else"|' >"$shell_file"
# shellcheck disable=SC2059  # the headers are escapes
printf "$(bmp_headers 60000 -60000)" >"$shell_file.bmp"
# A picture whose header claims a million pixels more than the file holds.
diagnosis "find --timeout 3" >"$files/lies.diagnosis"
# shellcheck disable=SC2059
{ printf "$(bmp_headers 1000 -1000)"; head -c 100 /dev/zero; } >"$files/lies.diagnosis.bmp"
# A picture of 300 MB (sparse: it costs nothing here).
diagnosis "find --timeout 3" >"$files/big.diagnosis"
# shellcheck disable=SC2059
printf "$(bmp_headers 8000 -9000)" >"$files/big.diagnosis.bmp"
truncate -s 300M "$files/big.diagnosis.bmp"

# Control characters in the names the simulator logs (its UNKNOWN type
# lines, an id= note in the VIA line of a press): a carriage return that
# would overwrite the line with a forged one, a C1 CSI (U+009B) as UTF-8.
cr=$'\r'
csi=$'\xc2\x9b'
diagnosis "press --timeout 3" "    [x${cr}REPLAY gives the player's outcome: NOTFOUND; exit 2] \"a\" 300 300 100 40
    [y${csi}2J] \"b\" 300 400 100 40" |
    LC_ALL=C sed "s|^    \[button\] \"Play\" 600 664 220 60\$|& ## id=p${cr}REPLAY-id${csi}2J action=start-java|" \
    >"$files/controls.diagnosis"

# A row: the file, then what the replay must print (grep -E). Each file is
# replayed once, from the working folder $runs, with its picture beside it.
previous=""
while IFS='|' read -r file wanted; do
    if [ "$file" != "$previous" ]; then
        previous="$file"
        started=$SECONDS
        output="$(cd "$runs" && "$repo/scripts/replay.sh" "$files/$file" 2>&1 | tr -d '\r')"
        echo "$output"
        echo "(the replay of $file took $((SECONDS - started)) s)"
        expect "$output" "^exit code [0-9]+$" "$file: the tool ran"
        expect "$output" "^  READY$" "$file: the simulated launcher started"
    fi
    expect "$output" "$wanted" "$file: $wanted"
done <<ROWS
\$(touch ran-path) \`touch ran-tick\`.diagnosis|^REPLAY leaves out of the player's command what does not shape their run: --diagnose Z:.*canary --shot Z:.*shot\\.bmp "\\\$\\(touch .*-word\\)" \`touch .*-tick\` --front "\\\$\\(touch .*-front\\)"$
\$(touch ran-path) \`touch ran-tick\`.diagnosis|^\\\$ KestrovV6-Play.exe find --timeout [0-9]+ --profile Kestrov V6 --timeout [0-9]+$
\$(touch ran-path) \`touch ran-tick\`.diagnosis|^NOTFOUND$
\$(touch ran-path) \`touch ran-tick\`.diagnosis|^PICTURE refused: 60000 x 60000 pixels, beyond 16384 a side or 67108864 in all; the page is served without it$
lies.diagnosis|^PICTURE refused: its header claims 4000054 bytes, the file has 154; the page is served without it$
big.diagnosis|^REPLAY goes on without the picture: it has 314572800 bytes, more than the 268439552 a picture may have$
controls.diagnosis|^UNKNOWN type "x\\?REPLAY gives the player's outcome: NOTFOUND; exit 2": 1 element; 
controls.diagnosis|^UNKNOWN type "y\\?2J": 1 element; 
controls.diagnosis|^  VIA [a-z]+ p\\?REPLAY-id
controls.diagnosis|^  VIA [a-z]+ .*REPLAY-id\\?2J$
ROWS

# The simulator's own bound on the same 300 MB picture, given to it straight
# (the replay leaves it out): refused before a byte of it is read.
output="$(cd "$runs" && KV6_REPLAY_LAUNCHER_ARGS="--background Z:$files/big.diagnosis.bmp" \
    "$repo/scripts/replay.sh" "$files/big.diagnosis" 2>&1 | tr -d '\r')"
expect "$output" "^PICTURE refused: the file has 314572800 bytes, more than 268439552; the page is served without it$" \
    "the simulator refuses a picture of 300 MB"

# add-page: a diagnosis with "#!" lines of its own, in a file whose name is
# shell, goes into a pages folder of the test's own; it takes none of them.
own_lines="$files/\$(touch ran-add) \`touch ran-add-tick\`.diagnosis"
printf '\xef\xbb\xbf#! find both: FOUND uia 1 2 3 4 exit 0\n' >"$own_lines"
diagnosis "find --timeout 1" "#! passes: 1
  #! find wine10: FOUND uia 1 2 3 4 exit 0
#! press windows: FOUND uia 1 2 3 4; PRESSED invoke exit 0" >>"$own_lines"
export KV6_PAGES_DIR="$scratch/pages"
output="$(cd "$runs" && "$repo/scripts/add-page.sh" "$own_lines" hostile 2>&1 | tr -d '\r')"
echo "$output"
page="$KV6_PAGES_DIR/hostile.page"
expect "$output" "^add-page: the player's 4 \"#!\" lines are kept as \"# \\(player's\\) #!\" comments; the page's own come from the replays$" \
    "add-page says what became of the player's \"#!\" lines"
expect "$output" "^add-page: added $page$" "add-page added the page"
stated="$(grep -c '^#!' "$page" 2>/dev/null)"
own="$(grep -c -E '^#! (passes: [0-9]+|find (both|windows|wine10|chromium): .* exit [0-9]+)$' "$page" 2>/dev/null)"
[ "${stated:-0}" -ge 2 ] && [ "$stated" = "$own" ] || fail "every \"#!\" line of the page is add-page's ($own of $stated)"
[ "$(grep -c '^#! passes:' "$page" 2>/dev/null)" = 1 ] || fail "the page has add-page's passes alone"
refuse "$(grep '^#!' "$page" 2>/dev/null)" "1 2 3 4" "no \"#!\" line of the page holds the player's"
[ "$(grep -c "^# (player's) " "$page" 2>/dev/null)" = 4 ] || fail "the player's four \"#!\" lines are kept as comments"
# It never overwrites, and a NAME stays in the pages folder.
before="$(cksum <"$page")"
output="$("$repo/scripts/add-page.sh" "$own_lines" hostile 2>&1)"
[ $? -ne 0 ] && [ "$(cksum <"$page")" = "$before" ] || fail "add-page overwrote a page"
expect "$output" "is there already; choose another name$" "add-page says the name is taken"
for name in ../escaped a/b .. sub/../escaped; do
    output="$("$repo/scripts/add-page.sh" "$own_lines" "$name" 2>&1)"
    [ $? -ne 0 ] || fail "add-page took the NAME $name"
    expect "$output" "^usage: scripts/add-page.sh" "add-page refuses the NAME $name"
done
[ -z "$(find "$scratch" -name 'escaped*' -print -quit)" ] || fail "a NAME put a page outside the pages folder"

# Nothing ran, nothing was written outside the scratch folders.
ran="$(find "$scratch" /tmp -maxdepth 3 -name 'ran*' -newer "$watched/canary" 2>/dev/null)"
[ -z "$ran" ] || fail "a player's text ran as shell: $ran"
[ "$(cat "$watched/canary")" = "the canary" ] && [ "$(ls -A "$watched")" = canary ] ||
    fail "the player's command wrote in the watched folder: $(ls -A "$watched" | tr '\n' ' ')"

[ "$status" = 0 ] && echo "PASS"
exit "$status"
