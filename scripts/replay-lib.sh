# shellcheck shell=bash
# The replay's parts, sourced by scripts/replay.sh, scripts/add-page.sh, the
# replay fixtures' script and the replay test: reading a player's diagnosis
# (its command, outcome and whether it was cut short), comparing SCAN lines,
# the time-out the replay gives the tool, and what they print of a player's
# bytes (shown). A run's outcome, a page's "#!" lines and the time-out for
# passes are not restated here: page_outcome runs the kit's one reader of
# them. Nothing here writes a file.

REPLAY_TOOL_MAX_TIMEOUT=900
# A player's file is read no further than the simulator's reader reads it
# (kit/player_file.h): a page's first 16 MiB, a picture of at most 16384
# pixels a side and 67,108,864 in all, with its headers.
REPLAY_PAGE_MAX_BYTES=16777216
REPLAY_PICTURE_MAX_BYTES=268439552
REPLAY_PICTURE_MAX_SIDE=16384

# The SCAN line's fields, one "name value" a line; the pick's "(Kestrov V6
# beside it)" becomes its own field. 1 for a line that is no finished scan.
scan_fields() {
  local re='^SCAN elements ([0-9]+) plays ([0-9]+) pick (.*) profiles ([0-9]+) tab (yes|no) java (yes|no) login ([0-9]+)$'
  local line="${1%$'\r'}" pick beside=no
  [[ "$line" =~ $re ]] || return 1
  pick="${BASH_REMATCH[3]}"
  if [[ "$pick" == *" (Kestrov V6 beside it)" ]]; then
    pick="${pick% (Kestrov V6 beside it)}"
    beside=yes
  fi
  printf '%s\n' "elements ${BASH_REMATCH[1]}" "plays ${BASH_REMATCH[2]}" "pick $pick" "beside $beside" \
    "profiles ${BASH_REMATCH[4]}" "tab ${BASH_REMATCH[5]}" "java ${BASH_REMATCH[6]}" "login ${BASH_REMATCH[7]}"
}

# One line: does the replay's SCAN line match the player's, field by field?
compare_scans() {
  local player="${1%$'\r'}" replayed="${2%$'\r'}" differences="" i
  local -a p r
  if [ -z "$replayed" ]; then
    echo "REPLAY could not compare with the player's scan: the replay printed no SCAN line"
    return
  fi
  # An unfinished scan's counts would read as absences: nothing to compare.
  if [[ "$player" == "SCAN unfinished after "* ]]; then
    echo "REPLAY could not compare with the player's scan: theirs did not finish ($player)"
    return
  fi
  if [[ "$replayed" == "SCAN unfinished after "* ]]; then
    echo "REPLAY could not compare with the player's scan: the replay's did not finish ($replayed)"
    return
  fi
  mapfile -t p < <(scan_fields "$player")
  mapfile -t r < <(scan_fields "$replayed")
  if [ ${#p[@]} -ne 8 ] || [ ${#r[@]} -ne 8 ]; then
    echo "REPLAY could not compare with the player's scan: unreadable SCAN line"
    return
  fi
  for i in "${!p[@]}"; do
    [ "${p[$i]}" = "${r[$i]}" ] || differences="${differences:+$differences, }${r[$i]} (player ${p[$i]#* })"
  done
  if [ -z "$differences" ]; then
    echo "REPLAY agrees with the player's scan: $player"
  else
    echo "REPLAY differs from the player's scan: $differences"
  fi
}

# The words of a "#> command" line, each ended by a NUL: a word with a
# blank, a double quote or nothing in it stands in double quotes, each inner
# quote doubled. Read character by character, never evaluated: the file
# comes from a player. 1 for a line that breaks those rules.
command_words() {
  local text="${1%$'\r'}" i=0 n word c
  n=${#text}
  while :; do
    while ((i < n)) && [[ "${text:$i:1}" == [$' \t'] ]]; do i=$((i + 1)); done
    ((i < n)) || return 0
    word=""
    if [ "${text:$i:1}" = '"' ]; then
      i=$((i + 1))
      while :; do
        ((i < n)) || return 1   # no closing quote
        c="${text:$i:1}"
        if [ "$c" = '"' ]; then
          if [ "${text:$((i + 1)):1}" = '"' ]; then
            word+='"'
            i=$((i + 2))
            continue
          fi
          i=$((i + 1))
          break
        fi
        word+="$c"
        i=$((i + 1))
      done
      # A closing quote ends the word.
      ((i >= n)) || [[ "${text:$i:1}" == [$' \t'] ]] || return 1
    else
      while ((i < n)) && [[ "${text:$i:1}" != [$' \t'] ]]; do
        c="${text:$i:1}"
        [ "$c" != '"' ] || return 1   # a quote in a bare word
        word+="$c"
        i=$((i + 1))
      done
    fi
    printf '%s\0' "$word"
  done
}

# A player's words, as the tool reads them, split into what a replay gives
# the tool and what it leaves out: it keeps the command and the options that
# shape the run (--profile and --timeout with their values, --hide), and
# leaves out every other word: --diagnose and --shot with their files (a
# replay writes nothing a player names), --front with its title (it decides
# nothing and would reach for a window on the replaying desktop), unknown
# words and stray values. $1, $2, $3: the names of the player's array and of
# the arrays that get the kept and the left-out words.
replay_words() {
  # Names of their own: a name reference to the caller's same name loops.
  local -n replay_from="$1" replay_kept="$2" replay_left="$3"
  local i=1 n=${#replay_from[@]} word
  replay_kept=("${replay_from[@]:0:1}")
  replay_left=()
  while [ "$i" -lt "$n" ]; do
    word="${replay_from[$i]}"
    if [ $((i + 1)) -lt "$n" ] && [[ "$word" == --profile || "$word" == --timeout ]]; then
      replay_kept+=("$word" "${replay_from[$((i + 1))]}")
      i=$((i + 2))
    elif [ $((i + 1)) -lt "$n" ] && [[ "$word" == --diagnose || "$word" == --shot || "$word" == --front ]]; then
      replay_left+=("$word" "${replay_from[$((i + 1))]}")
      i=$((i + 2))
    elif [ "$word" = --hide ]; then
      replay_kept+=("$word")
      i=$((i + 1))
    else
      replay_left+=("$word")
      i=$((i + 1))
    fi
  done
}

# A player's bytes as the replay and add-page print them, the one filter for
# all they print of them: the carriage return that ends a line (CR LF) goes,
# and every other control character becomes '?': C0 but the line feed (a
# carriage return in a line would overwrite it), DEL, and C1 (U+0080 to
# U+009F, which UTF-8 writes as C2 80 to C2 9F; U+009B is a terminal's CSI),
# as does every byte that is no UTF-8. Read byte by byte in every locale.
shown() {
  PERL5OPT='' PERL_UNICODE=0 LC_ALL=C perl -pe '
    s/\r\n\z/\n/;  # the end of a CR LF line
    # A byte that starts no UTF-8 sequence, or one that is cut or too long:
    s/([\x00-\x7f]|[\xc2-\xdf][\x80-\xbf]|\xe0[\xa0-\xbf][\x80-\xbf]|[\xe1-\xec\xee\xef][\x80-\xbf]{2}|\xed[\x80-\x9f][\x80-\xbf]|\xf0[\x90-\xbf][\x80-\xbf]{2}|[\xf1-\xf3][\x80-\xbf]{3}|\xf4[\x80-\x8f][\x80-\xbf]{2})|[\x80-\xff]/defined $1 ? $1 : "?"/ge;
    s/[\x00-\x09\x0b-\x1f\x7f]|\xc2[\x80-\x9f]/?/g;  # C0 but the line feed, DEL, C1'
}

# Words of a player's file to print on one line, through shown: a word with
# a blank or nothing in it stands in double quotes; line breaks in a word
# show as '?' too.
printable_words() {
  local word out=""
  for word in "$@"; do
    word="${word//[$'\r\n']/?}"
    [[ -n "$word" && "$word" != *[$' \t']* ]] || word="\"$word\""
    out+="${out:+ }$word"
  done
  printf '%s\n' "$out" | shown
}

# The player's command from a diagnosis FILE, into the array named by $2.
# 1 when the file has no "#> command" line or an unreadable one.
read_player_command() {
  local line
  line="$(grep -a -m 1 '^#> command ' "$1")" || return 1
  line="${line%$'\r'}"
  command_words "${line#'#> command '}" >/dev/null || return 1
  mapfile -d '' -t "$2" < <(command_words "${line#'#> command '}")
}

# The kit's one reader of a page's "#!" lines and its rules for a run
# (kit/page_outcomes.h), page_outcome.exe of the build (KV6_BUILD_DIR,
# default build/mingw) under Wine 8 (tools/wine-run, KV6_DISPLAY and
# KV6_WINEPREFIX): texts on standard input, never paths.
#   page_outcome stated COMMAND PLATFORM < PAGE   "passes N", then the outcome
#   page_outcome timeout PASSES SCAN_MS           the tool's --timeout
#   page_outcome judge EXIT_CODE < OUTCOME, LINES complete, less: or wrong:
#   page_outcome outcome EXIT_CODE < LINES        a run's outcome
page_outcome() {
  local repo build
  repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd -P)"
  build="${KV6_BUILD_DIR:-build/mingw}"
  case "$build" in /*) ;; *) build="$repo/$build" ;; esac
  "$repo/tools/wine-run" "$build/page_outcome.exe" "$@"
}

# A run's outcome, "LINE; LINE exit N" as a "#!" line gives it (its FOUND,
# LOGIN, NOT_SELECTED and NOTFOUND lines and its claims: POPUP, PRESSED,
# STUCK), from its report lines on stdin and its exit code; "exit N" alone
# when it has none.
outcome_of() {
  page_outcome outcome "$1"
  [ $? -le 1 ]
}

# The player's outcome from a diagnosis FILE: its "#> MS LINE" lines and its
# "#> exit N". 1 when the file has no exit line.
player_outcome() {
  local code
  code="$(tr -d '\r' <"$1" | sed -n 's/^#> exit \(-\{0,1\}[0-9]\{1,\}\)$/\1/p' | head -n 1)"
  [ -n "$code" ] || return 1
  [ "${#code}" -le 7 ] || return 1
  tr -d '\r' <"$1" | sed -n 's/^#> [0-9]\{1,\} //p' | outcome_of "$code"
}

# "UIA stopped answering after N elements" when the diagnosis FILE says that
# the launcher stopped answering while it was taken; 1 when not (a
# diagnosis that only ran out of time was cut short by a slow client, not a
# stopped launcher: see out_of_time_reason).
cut_short_reason() {
  local reason
  grep -a '^# cut short' "$1" | grep -a -q -v 'ran out of time' || grep -a -q '^UIA stopped answering after ' "$1" || return 1
  reason="$(grep -a -m 1 '^UIA stopped answering after ' "$1" | sed 's/\r$//')"
  echo "${reason:-the launcher stopped answering}"
}

# "DPI AWARENESS" from the diagnosis FILE's "#> dpi monitor N window N
# AWARENESS" line when the player's monitor was scaled (a DPI from 48 to 480
# other than 96); 1 when it was not, or the file does not say.
player_scale() {
  local dpi awareness
  read -r dpi awareness < <(tr -d '\r' <"$1" |
    sed -n 's/^#> dpi monitor \([0-9]\{2,3\}\) window [0-9]\{1,3\} \(unaware\|system-aware\|per-monitor-aware\|unknown\)$/\1 \2/p' |
    head -n 1) || return 1
  [ -n "${dpi:-}" ] && [ "$dpi" -ge 48 ] && [ "$dpi" -le 480 ] && [ "$dpi" != 96 ] || return 1
  echo "$dpi $awareness"
}

# "UIA ran out of time after N elements" when the diagnosis FILE's UI
# Automation part ran out of its time while the launcher still answered;
# 1 when not.
out_of_time_reason() {
  grep -a -m 1 '^UIA ran out of time after [0-9]* elements' "$1" | sed 's/\r$//' | grep . || return 1
}

# The tool's --timeout among its words (the command first), read as the tool
# reads its options: each value option (--profile, --timeout, --shot,
# --diagnose, --front) takes the next word, the last one
# counts, "15s" is 15, and the result lies in 1 to 900 (90 when none).
# Prints "SECONDS INDEX", INDEX the value's place or -1 when none was given.
tool_timeout() {
  local -a words=("$@")
  local i=1 seconds=90 at=-1 value
  while [ $i -lt ${#words[@]} ]; do
    if [ $((i + 1)) -lt ${#words[@]} ] && [[ "${words[$i]}" == --profile || "${words[$i]}" == --shot ||
      "${words[$i]}" == --diagnose || "${words[$i]}" == --front ]]; then
      i=$((i + 2))
    elif [ $((i + 1)) -lt ${#words[@]} ] && [ "${words[$i]}" = --timeout ]; then
      value="${words[$((i + 1))]}"
      seconds=0
      if [[ "$value" =~ ^[[:space:]]*([+-]?)0*([0-9]+) ]]; then
        seconds=${BASH_REMATCH[2]}
        [ ${#seconds} -le 6 ] || seconds=999999
        [ "${BASH_REMATCH[1]}" != - ] || seconds=0
      fi
      at=$((i + 1))
      i=$((i + 2))
    else
      i=$((i + 1))
    fi
  done
  [ "$seconds" -le "$REPLAY_TOOL_MAX_TIMEOUT" ] || seconds=$REPLAY_TOOL_MAX_TIMEOUT
  [ "$seconds" -ge 1 ] || seconds=1
  echo "$seconds $at"
}

# Width and height of a BMP FILE's picture, "W H", as its header gives
# them; 1 when it is no BMP or they lie beyond the reader's bounds.
picture_size() {
  local header width height
  [ "$(head -c 2 "$1" 2>/dev/null)" = BM ] || return 1
  header="$(od -An -v -t d4 -j 18 -N 8 "$1" 2>/dev/null)" || return 1
  read -r width height <<<"$header"
  [[ "$width" =~ ^[0-9]{1,5}$ && "$height" =~ ^-?[0-9]{1,5}$ ]] || return 1
  height="${height#-}"
  [ "$width" -ge 1 ] && [ "$width" -le "$REPLAY_PICTURE_MAX_SIDE" ] &&
    [ "$height" -ge 1 ] && [ "$height" -le "$REPLAY_PICTURE_MAX_SIDE" ] || return 1
  echo "$width $height"
}

# Where the player's launcher had its client area on screen, for the
# simulator's --client: "L,T,W,H WHERE-FROM". From the diagnosis FILE's
# "#> client L T W H" line; else, with its PICTURE (the client area, so its
# size), from the run's "FOUND pixels X Y W H" less the dump's "LOOKED button
# x y W H" (the same button in client pixels). 1 when neither tells.
client_area() {
  local file="$1" picture="${2:-}" number='(-?[1-9][0-9]{0,6}|0)' size='([1-9][0-9]{0,4})'
  local line found looked width height
  line="$(tr -d '\r' <"$file" | grep -a -m 1 '^#> client ')"
  if [[ "$line" =~ ^'#> client '$number' '$number' '$size' '$size$ ]] &&
    [ "${BASH_REMATCH[3]}" -le "$REPLAY_PICTURE_MAX_SIDE" ] && [ "${BASH_REMATCH[4]}" -le "$REPLAY_PICTURE_MAX_SIDE" ]; then
    echo "${BASH_REMATCH[1]},${BASH_REMATCH[2]},${BASH_REMATCH[3]},${BASH_REMATCH[4]} the diagnosis's \"#> client\" line"
    return 0
  fi
  [ -n "$picture" ] && read -r width height < <(picture_size "$picture") && [ -n "${height:-}" ] || return 1
  looked="$(tr -d '\r' <"$file" | grep -a -m 1 '^LOOKED button ')"
  [[ "$looked" =~ ^'LOOKED button '$number' '$number' '$size' '$size' ' ]] || return 1
  looked=("${BASH_REMATCH[@]:1:4}")
  while IFS= read -r found; do
    [[ "$found" =~ ^'#> '[0-9]+' FOUND pixels '$number' '$number' '$size' '$size$ ]] || continue
    [ "${BASH_REMATCH[3]} ${BASH_REMATCH[4]}" = "${looked[2]} ${looked[3]}" ] || continue
    echo "$((BASH_REMATCH[1] - looked[0])),$((BASH_REMATCH[2] - looked[1])),$width,$height the run's FOUND pixels less the LOOKED button"
    return 0
  done < <(tr -d '\r' <"$file" | grep -a '^#> [0-9]* FOUND pixels ')
  return 1
}

# The root requests one scan of the tool makes in the simulator here, and
# what a scan costs at most: "REQUESTS MS", from a whole find of home-en
# (its first look finds Play beside the profile, so it is one scan; the ms
# are its FOUND line's, the tool's start included). The launcher's
# arguments: $1 (KV6_REPLAY_LAUNCHER_ARGS). 1 when it found no Play.
one_scan() {
  local out requests ms
  out="$(KV6_REPLAY_LAUNCHER_ARGS="${1:-}" KV6_REPLAY_TIMES=1 KV6_REPLAY_AS_GIVEN=1 \
    "$(dirname "${BASH_SOURCE[0]}")/replay.sh" "$(dirname "${BASH_SOURCE[0]}")/../kit/pages/home-en.page" \
    find --timeout 60 2>&1 | tr -d '\r')"
  ms="$(awk '$2 == "FOUND" && $1 ~ /^[0-9]+\.[0-9]+$/ { printf "%d\n", $1 * 1000; exit }' <<<"$out")"
  requests="$(sed -n 's/^REPLAY the launcher had \([0-9]*\) root requests .*/\1/p' <<<"$out")"
  [ -n "$ms" ] && [ -n "$requests" ] || { echo "$out" >&2; return 1; }
  echo "$((requests > 0 ? requests : 1)) $ms"
}

# The replay's time-out: the one that gives the tool PASSES passes when one
# of the replay's scans takes SCAN_MS, the rule every corpus run goes by.
replay_timeout() {
  local seconds
  seconds="$(page_outcome timeout "$1" "$2")" && [[ "$seconds" =~ ^[0-9]+$ ]] || return 1
  echo "$seconds"
}
