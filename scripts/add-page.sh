#!/usr/bin/env bash
# Adds a player's diagnosis (the file a `press` or `find` run's --diagnose
# wrote) to the corpus as kit/pages/NAME.page, with its picture FILE.bmp as
# kit/pages/NAME.bmp when there is one (the corpus tests serve it as the
# page's background). Above the diagnosis go "#" lines saying where it came
# from and the "#!" lines the corpus tests read:
#   - the player's outcome as the Windows one for their command (for a
#     press, the find line is read from it: the lines a find prints too);
#   - the Wine 10 find outcome, from a replay of the page (`find --timeout
#     N`, no other option, N the replay's time-out for a page that states
#     no passes); "both" when it is the Windows one;
#   - a chromium find line when a replay with the simulator's --chromium
#     gives another: the tool's find with that time-out against a launcher
#     started anew, as the corpus test runs it (no dump before it);
#   - the passes the outcomes need (`#! passes: N`), measured: the most
#     scans either replay had when it printed its outcome's last line (a
#     NOTFOUND that ends the run aside: the time-out's end; a run with
#     nothing before it needed one), and one pass to spare. Scans are
#     counted by the launcher's root requests, as many a scan as a find of
#     home-en, one scan, makes here.
# The player's file is data: nothing of it reaches a shell, and its own "#!"
# lines become "# (player's) #!" comments, so that every "#!" line of the
# page is add-page's. It never overwrites a page or a picture.
#   scripts/add-page.sh FILE NAME
# NAME: lower-case letters, digits and '-', at most 64 (no '/', no '..').
# KV6_PAGES_DIR puts the page in another folder (default kit/pages). Needs
# what scripts/replay.sh needs; it replays twice, so it takes minutes on a
# loaded machine.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd -P)"
# shellcheck source=scripts/replay-lib.sh
source "$here/replay-lib.sh"

if [ $# -ne 2 ] || [ ! -f "$1" ] || [[ ! "$2" =~ ^[a-z0-9][a-z0-9-]{0,63}$ ]]; then
  echo "usage: scripts/add-page.sh DIAGNOSIS_FILE NAME  (NAME: a-z, 0-9, -; at most 64)" >&2
  exit 1
fi
file="$1"
name="$2"
pages="${KV6_PAGES_DIR:-$here/../kit/pages}"
page="$pages/$name.page"
for target in "$page" "$pages/$name.bmp"; do
  if [ -e "$target" ] || [ -L "$target" ]; then
    echo "add-page: $target is there already; choose another name" >&2
    exit 1
  fi
done

# Everything is read from a copy in a work folder: what was checked is what
# goes in.
work="$(mktemp -d /tmp/kv6-add-page.XXXXXX)"
trap 'rm -rf "$work"' EXIT
head -c $((REPLAY_PAGE_MAX_BYTES + 1)) -- "$file" >"$work/player"
if [ "$(wc -c <"$work/player")" -gt "$REPLAY_PAGE_MAX_BYTES" ]; then
  echo "add-page: $file is longer than the $REPLAY_PAGE_MAX_BYTES bytes a page may have" >&2
  exit 1
fi
if [ "$(tr -d '\000' <"$work/player" | wc -c)" -ne "$(wc -c <"$work/player")" ]; then
  echo "add-page: $file holds NUL bytes; a diagnosis is UTF-8" >&2
  exit 1
fi
if [ -e "$file.bmp" ]; then
  [ ! -f "$file.bmp" ] || head -c $((REPLAY_PICTURE_MAX_BYTES + 1)) -- "$file.bmp" >"$work/$name.bmp"
  if [ ! -f "$work/$name.bmp" ] || [ "$(wc -c <"$work/$name.bmp")" -gt "$REPLAY_PICTURE_MAX_BYTES" ]; then
    echo "add-page: $file.bmp is no regular file of at most $REPLAY_PICTURE_MAX_BYTES bytes" >&2
    exit 1
  fi
fi
if ! read_player_command "$work/player" words || [ ${#words[@]} -eq 0 ] ||
  [[ "${words[0]}" != find && "${words[0]}" != press ]] || ! theirs="$(player_outcome "$work/player")"; then
  echo "add-page: $file is no diagnosis of a find or a press (its \"#> command\" and \"#> exit\" lines)" >&2
  exit 1
fi
[ "$theirs" != "${theirs#exit }" ] && {
  echo "add-page: the player's run printed no outcome line" >&2
  exit 1
}
read -r seconds _ < <(tool_timeout "${words[@]}")
command_text="$(grep -a -m 1 '^#> command ' "$work/player" | shown)"
command_text="${command_text#'#> command '}"
file_name="$(basename -- "$file")"
file_name="$(printf '%s\n' "${file_name//[$'\r\n']/?}" | shown)"

# What a find prints of a press's outcome: no pop-up, press or re-press
# lines, and a press that found its target ends there as a find does. The
# lines are the player's: split into an array, never globbed.
find_of_press() {
  local outcome="$1" kept="" line
  local -a lines
  IFS=';' read -r -a lines <<<"${outcome% exit *}"
  for line in "${lines[@]}"; do
    line="${line# }"
    case "$line" in
      "FOUND "*)
        [[ "$kept" == *"FOUND "* ]] || kept+="${kept:+; }$line"
        ;;
      LOGIN | NOT_SELECTED | NOTFOUND) kept+="${kept:+; }$line" ;;
    esac
  done
  if [[ "$kept" == *"FOUND "* && "$kept" != *NOTFOUND* ]]; then
    echo "$kept exit 0"
  else
    echo "$kept exit ${outcome##* exit }"
  fi
}

# The page in the work folder first, its picture beside it, so that the
# replay serves it as the corpus test will. The player's "#!" lines (after a
# mark or blanks too) are kept as comments that no test reads.
tr -d '\r' <"$work/player" | sed -e '1s/^\xef\xbb\xbf//' >"$work/text"
theirs_stated="$(grep -a -c '^[[:space:]]*#!' "$work/text")"
sed "s/^\\([[:space:]]*#!\\)/# (player's) \\1/" "$work/text" >"$work/body"

# A replay of the page with `find --timeout $2` under Wine 10, the launcher
# started with the arguments $1; with $3 = 1 the tool runs as given against
# the launcher as it started (KV6_REPLAY_AS_GIVEN). Prints "TIMEOUT SCANS
# OUTCOME": the time-out the tool got, the scans it had when it printed its
# outcome's last line (a NOTFOUND that ends the run aside; at least 1) and
# the outcome it gave.
replayed_find() {
  local output timeout lines outcome line roots=0 at=0 part
  local -a parts
  cp "$work/body" "$work/$name.page"
  output="$(KV6_REPLAY_ROOTS=1 KV6_REPLAY_LAUNCHER_ARGS="$1" KV6_REPLAY_AS_GIVEN="$3" "$here/replay.sh" "$work/$name.page" find --timeout "$2" 2>&1 | tr -d '\r')"
  if refused="$(grep -a -m 1 -E "^(PICTURE refused|REPLAY goes on without the picture)" <<<"$output")"; then
    echo "add-page: the picture cannot go into the corpus: $refused" >&2
    return 1
  fi
  timeout="$(sed -n 's/^REPLAY gives the tool --timeout \([0-9]*\) .*/\1/p' <<<"$output")"
  code="$(sed -n 's/^exit code \([0-9]*\)$/\1/p' <<<"$output")"
  if [ -z "$code" ]; then
    echo "add-page: the replay did not run:" >&2
    echo "$output" >&2
    return 1
  fi
  # The tool's lines, each after the root requests the launcher had logged by then.
  lines="$(sed -n '/^\$ KestrovV6-Play.exe /,/^exit code /p' <<<"$output" | sed '1d;$d')"
  outcome="$(sed 's/^[0-9]* //' <<<"$lines" | outcome_of "$code")" || return 1
  # Its outcome's lines, found in order among the tool's: the scans by the
  # last one, or by the one before a NOTFOUND that ends the run, one scan
  # at least.
  IFS=';' read -r -a parts <<<"${outcome% exit *}"
  [ "${parts[-1]# }" != NOTFOUND ] || unset 'parts[-1]'
  for part in "${parts[@]}"; do
    part="${part# }"
    while IFS= read -r line; do
      at=$((at + 1))
      if [ "${line#* }" = "$part" ]; then
        [ "${line%% *}" -le "$roots" ] || roots="${line%% *}"
        break
      fi
    done < <(tail -n +$((at + 1)) <<<"$lines")
  done
  roots=$(((roots + per_scan - 1) / per_scan))
  echo "${timeout:-$seconds} $((roots > 0 ? roots : 1)) $outcome"
}

[ "$theirs_stated" = 0 ] ||
  echo "add-page: the player's $theirs_stated \"#!\" lines are kept as \"# (player's) #!\" comments; the page's own come from the replays" >&2
echo "add-page: replaying $name under Wine 10 (a find of home-en, one scan, to count scans by; find, then find with --chromium)" >&2
if ! read -r per_scan _ < <(one_scan); then
  echo "add-page: a find of home-en found no Play: the replays do not run here" >&2
  exit 1
fi
wine10="$(replayed_find "" "$seconds" 0)" || exit 1
read -r timeout wine10_scans wine10 <<<"$wine10"
# Chromium's find as the corpus tests run it: a launcher started anew with
# --chromium, whose late tree no dump has built, and the same time-out.
chromium="$(replayed_find --chromium "$timeout" 1)" || exit 1
read -r _ chromium_scans chromium <<<"$chromium"
passes=$((wine10_scans > chromium_scans ? wine10_scans + 1 : chromium_scans + 1))

if [ "${words[0]}" = find ]; then
  windows_find="$theirs"
else
  windows_find="$(find_of_press "$theirs")"
fi
{
  echo "# A player's diagnosis ($file_name, added $(date +%Y-%m-%d) by scripts/add-page.sh)."
  echo "# Their command on Windows: $command_text; its lines are the \"#>\" lines"
  echo "# below. Wine 10's lines come from replays of the page with its picture"
  echo "# (find --timeout $timeout, without the player's other options: the"
  echo "# replay's time-out where the player's run had $seconds s). Passes: the replays"
  echo "# printed their outcomes by scan $wine10_scans (Wine 10) and $chromium_scans (Chromium); one more"
  echo "# to spare."
  [ "${words[0]}" = press ] &&
    echo "# The Windows find is read from the press: the lines a find prints too."
  [ "$theirs_stated" = 0 ] ||
    echo "# The player's file had $theirs_stated \"#!\" lines of its own: kept below as \"# (player's) #!\" comments."
  echo "#! passes: $passes"
  if [ "$windows_find" = "$wine10" ]; then
    echo "#! find both: $wine10"
  else
    echo "#! find windows: $windows_find"
    echo "#! find wine10: $wine10"
  fi
  [ "${words[0]}" = press ] && echo "#! press windows: $theirs"
  if [ "$chromium" != "$wine10" ]; then
    echo "# Chromium: find --timeout $timeout on a simulator started anew with --chromium gave this instead."
    echo "#! find chromium: $chromium"
  fi
  cat "$work/body"
} >"$work/$name.page"

# No overwriting, even of a page that came while the replays ran.
mkdir -p "$pages"
if [ -f "$work/$name.bmp" ] && ! (set -o noclobber && cat "$work/$name.bmp" >"$pages/$name.bmp") 2>/dev/null; then
  echo "add-page: $pages/$name.bmp came meanwhile; nothing added" >&2
  exit 1
fi
if ! (set -o noclobber && cat "$work/$name.page" >"$page") 2>/dev/null; then
  echo "add-page: $page came meanwhile; nothing added" >&2
  [ -f "$work/$name.bmp" ] && rm -f "$pages/$name.bmp"
  exit 1
fi
echo "add-page: added $page$([ -f "$work/$name.bmp" ] && echo " and $name.bmp")"
sed -n '/^#!/p' "$page" | shown
