# Sourced by the set-up scripts: runs one long step so that it says what it
# does. Its start line names the step and what it usually costs, a "still"
# line follows every KV6_STILL_EVERY seconds (default 50, so no minute
# passes silently), and its end line says what it cost. Its full output goes
# to a log file (build/logs/NAME.log, or KV6_LOG_DIR); when it fails, the
# step, its exit code, the log's path and the log's last lines are printed.
#   kv6_step [-q SECONDS | -Q SECONDS] TITLE USUAL LOGNAME -- COMMAND...
# -q: a step that is often quick (a build with nothing to do): its start
# line waits SECONDS, and a step that ended by then prints one short line.
# -Q: the same, but a quick step prints nothing.
# COMMAND runs in the foreground (Ctrl-C reaches it); the ticker is a
# background loop ended by its pid. The exit code is COMMAND's.

kv6_repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd -P)"

kv6_log_dir() {
  local dir="${KV6_LOG_DIR:-$kv6_repo/build/logs}"
  mkdir -p "$dir"
  printf '%s\n' "$dir"
}

# "42 s", "3 min", "3 min 5 s".
kv6_duration() {
  if [ "$1" -lt 60 ]; then
    printf '%d s' "$1"
  elif [ $(($1 % 60)) = 0 ]; then
    printf '%d min' $(($1 / 60))
  else
    printf '%d min %d s' $(($1 / 60)) $(($1 % 60))
  fi
}

kv6_step() {
  local quick=0 quiet=0
  case "${1-}" in
    -q) quick="$2"; shift 2 ;;
    -Q) quick="$2"; quiet=1; shift 2 ;;
  esac
  local title="$1" usual="$2" log
  log="$(kv6_log_dir)/$3.log"
  shift 3
  [ "${1-}" = -- ] && shift
  local start=$SECONDS every="${KV6_STILL_EVERY:-50}" status=0 announced=0 ticker
  local head="$title (usually $usual; log $log)..."
  if [ "$quick" = 0 ]; then
    echo "$head"
    announced=1
  fi
  # The ticker's sleeps hold none of our output open, so a pipe reading
  # this script ends when we do, not when a sleep does.
  (
    trap 'exit 0' TERM
    next=$quick
    [ "$next" -gt 0 ] || next=$every
    # It also ends when the script that started it is gone (Ctrl-C).
    while kill -0 "$$" 2>/dev/null; do
      sleep 1 </dev/null >/dev/null 2>&1
      elapsed=$((SECONDS - start))
      [ "$elapsed" -ge "$next" ] || continue
      if [ "$announced" = 0 ]; then
        echo "$head"
        announced=1
        next=$((elapsed + every))
      else
        echo "  still ${title,}: $(kv6_duration "$elapsed") so far"
        next=$((next + every))
      fi
    done
  ) &
  ticker=$!
  "$@" >"$log" 2>&1 </dev/null || status=$?
  kill "$ticker" 2>/dev/null
  wait "$ticker" 2>/dev/null || true
  local cost
  cost="$(kv6_duration $((SECONDS - start)))"
  if [ "$status" -ne 0 ]; then
    {
      echo "FAILED: ${title} (exit code $status, after $cost). Full log: $log"
      tail -n 15 "$log" | sed 's/^/  | /'
    } >&2
    return "$status"
  fi
  # A quick step of -Q says nothing; any other says what it cost.
  if [ "$quiet" = 0 ] || [ $((SECONDS - start)) -ge "$quick" ]; then
    echo "$title: done in $cost"
  fi
}
