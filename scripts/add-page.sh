#!/usr/bin/env bash
# Adds a player's diagnosis (the file a `press` or `find` run's --diagnose
# wrote) to the corpus as kit/pages/NAME.page, with its picture FILE.bmp as
# kit/pages/NAME.bmp when there is one (the corpus tests serve it as the
# page's background). Above the diagnosis go "#" lines saying where it came
# from and the "#!" lines the corpus tests read:
#   - the player's outcome as the Windows one for their command (for a
#     press, the find line is read from it: the lines a find prints too);
#   - the Wine 10 find outcome, from a replay of the page as the corpus test
#     runs it (`find --timeout N`, no other option), and the time-out that
#     replay gave the tool; "both" when it is the Windows one;
#   - a chromium find line when the replay with the simulator's --chromium
#     gives another.
# It never overwrites a page or a picture.
#   scripts/add-page.sh FILE NAME
# NAME: lower-case letters, digits and '-'. KV6_PAGES_DIR puts the page in
# another folder (default kit/pages). Needs what scripts/replay.sh needs; it
# replays twice, so it takes minutes on a loaded machine.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd -P)"
# shellcheck source=scripts/replay-lib.sh
source "$here/replay-lib.sh"

if [ $# -ne 2 ] || [ ! -f "$1" ] || [[ ! "$2" =~ ^[a-z0-9][a-z0-9-]*$ ]]; then
  echo "usage: scripts/add-page.sh DIAGNOSIS_FILE NAME  (NAME: a-z, 0-9, -)" >&2
  exit 1
fi
file="$1"
name="$2"
pages="${KV6_PAGES_DIR:-$here/../kit/pages}"
page="$pages/$name.page"
for target in "$page" "$pages/$name.bmp"; do
  if [ -e "$target" ]; then
    echo "add-page: $target is there already; choose another name" >&2
    exit 1
  fi
done
if ! read_player_command "$file" words || [ ${#words[@]} -eq 0 ] ||
  [[ "${words[0]}" != find && "${words[0]}" != press ]] || ! theirs="$(player_outcome "$file")"; then
  echo "add-page: $file is no diagnosis of a find or a press (its \"#> command\" and \"#> exit\" lines)" >&2
  exit 1
fi
[ "$theirs" != "${theirs#exit }" ] && {
  echo "add-page: the player's run printed no outcome line" >&2
  exit 1
}
read -r seconds _ < <(tool_timeout "${words[@]}")
command_text="$(grep -a -m 1 '^#> command ' "$file" | tr -d '\r')"
command_text="${command_text#'#> command '}"

# An outcome "LINE; LINE; exit N" as a "#!" line's value: "LINE; LINE exit N".
stated() {
  echo "${1%; exit *} exit ${1##*exit }"
}

# What a find prints of a press's outcome: no pop-up, press or re-press
# lines, and a press that found its target ends there as a find does.
find_of_press() {
  local outcome="$1" kept="" line
  local IFS=';'
  for line in ${outcome%; exit *}; do
    line="${line# }"
    case "$line" in
      "FOUND "*)
        [[ "$kept" == *"FOUND "* ]] || kept+="$line; "
        ;;
      LOGIN | NOT_SELECTED | NOTFOUND) kept+="$line; " ;;
    esac
  done
  if [[ "$kept" == *"FOUND "* && "$kept" != *NOTFOUND* ]]; then
    echo "${kept}exit 0"
  else
    echo "${kept}exit ${outcome##*exit }"
  fi
}

# The page in a work folder first, its picture beside it, so that the replay
# serves it as the corpus test will.
work="$(mktemp -d /tmp/kv6-add-page.XXXXXX)"
trap 'rm -rf "$work"' EXIT
tr -d '\r' <"$file" >"$work/body"
[ -f "$file.bmp" ] && cp "$file.bmp" "$work/$name.bmp"

# A replay of the page with `find --timeout SECONDS` under Wine 10: prints
# "TIMEOUT OUTCOME", the time-out the tool got and the outcome it gave.
replayed_find() {
  local output timeout
  cp "$work/body" "$work/$name.page"
  output="$(KV6_REPLAY_LAUNCHER_ARGS="${1:-}" "$here/replay.sh" "$work/$name.page" find --timeout "$seconds" 2>&1 | tr -d '\r')"
  timeout="$(sed -n 's/^REPLAY gives the tool --timeout \([0-9]*\) .*/\1/p' <<<"$output")"
  code="$(sed -n 's/^exit code \([0-9]*\)$/\1/p' <<<"$output")"
  if [ -z "$code" ]; then
    echo "add-page: the replay did not run:" >&2
    echo "$output" >&2
    return 1
  fi
  echo "${timeout:-$seconds} $(sed -n '/^\$ KestrovV6-Play.exe /,/^exit code /p' <<<"$output" | outcome_of "$code")"
}

echo "add-page: replaying $name under Wine 10 (find, then find with --chromium)" >&2
wine10="$(replayed_find)" || exit 1
chromium="$(replayed_find --chromium)" || exit 1
timeout="${wine10%% *}"
wine10="${wine10#* }"
chromium="${chromium#* }"

if [ "${words[0]}" = find ]; then
  windows_find="$theirs"
else
  windows_find="$(find_of_press "$theirs")"
fi
{
  echo "# A player's diagnosis ($(basename "$file"), added $(date +%Y-%m-%d) by scripts/add-page.sh)."
  echo "# Their command on Windows: $command_text; its lines are the \"#>\" lines"
  echo "# below. Wine 10's lines come from replays of the page with its picture"
  echo "# (find --timeout $timeout, without the player's other options); the"
  echo "# time-out is the one the replay gave the tool for the player's $seconds s."
  [ "${words[0]}" = press ] &&
    echo "# The Windows find is read from the press: the lines a find prints too."
  echo "#! timeout: $timeout"
  if [ "$windows_find" = "$wine10" ]; then
    echo "#! find both: $(stated "$wine10")"
  else
    echo "#! find windows: $(stated "$windows_find")"
    echo "#! find wine10: $(stated "$wine10")"
  fi
  [ "${words[0]}" = press ] && echo "#! press windows: $(stated "$theirs")"
  if [ "$chromium" != "$wine10" ]; then
    echo "# Chromium: the replay with the simulator's --chromium gave this instead."
    echo "#! find chromium: $(stated "$chromium")"
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
sed -n '/^#!/p' "$page"
