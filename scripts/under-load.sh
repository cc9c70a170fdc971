#!/usr/bin/env bash
# Runs a command while busy processes (two by default) load both cores of
# the machine, as a new machine's set-up or a second test run would: does a
# verdict hold when the tests get less of the processor than they are used to?
#   scripts/under-load.sh [-n N] COMMAND [ARGS...]
# e.g. four Wine 10 entries, ten times in a row, under four busy processes:
#   scripts/under-load.sh -n 4 ctest --preset mingw \
#     -R '^(uia_route|replay_diagnoses|uia_hung_launcher|scaled_150)$' --repeat until-fail:10
# -n N, or KV6_LOAD_PROCESSES=N: how many busy processes (1 to 64; -n wins).
# They are ended by their process ids on every way out (the command's end,
# Ctrl-C, a kill); they also get SIGTERM from the kernel should this script
# itself be killed with SIGKILL. The exit code is the command's.
set -u
usage="usage: scripts/under-load.sh [-n N] COMMAND [ARGS...]"
count="${KV6_LOAD_PROCESSES:-2}"
if [ "${1:-}" = -n ]; then
  count="${2:-}"
  shift 2 2>/dev/null || shift $#
fi
[ "${1:-}" = -- ] && shift
case "$count" in
  '' | *[!0-9]*) count=0 ;;
esac
if [ "$count" -lt 1 ] || [ "$count" -gt 64 ]; then
  echo "under-load: the number of busy processes must be 1 to 64" >&2
  echo "$usage" >&2
  exit 1
fi
if [ $# -eq 0 ]; then
  echo "$usage" >&2
  exit 1
fi

busy=()
command_pid=""
stop_busy() {
  local pid
  for pid in "${busy[@]}"; do
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  busy=()
}
# A signal to this script goes to the command too, and the script ends
# when the command has.
on_signal() {
  [ -z "$command_pid" ] || kill -"$1" "$command_pid" 2>/dev/null
  stop_busy
  [ -z "$command_pid" ] || wait "$command_pid" 2>/dev/null
  exit "$2"
}
trap stop_busy EXIT
trap 'on_signal INT 130' INT
trap 'on_signal TERM 143' TERM
trap 'on_signal HUP 129' HUP

# setpriv --pdeathsig: a busy process dies with this script even if it is
# killed outright. `yes` execs in place, so $! is the busy process itself.
deathsig=()
if setpriv --help 2>/dev/null | grep -q -- --pdeathsig; then
  deathsig=(setpriv --pdeathsig TERM --)
fi
for _ in $(seq 1 "$count"); do
  "${deathsig[@]}" yes >/dev/null </dev/null &
  busy+=($!)
done
echo "under-load: ${#busy[@]} busy processes (pids ${busy[*]}) while: $*"
# The command runs in the background so that a signal reaches the traps at
# once (a foreground command would hold them until it ends); it keeps this
# script's standard input, and Ctrl-C ends it as it would in the foreground.
exec 3<&0
env --default-signal=INT,QUIT "$@" <&3 3<&- &
command_pid=$!
wait "$command_pid"
status=$?
command_pid=""
echo "under-load: the command ended with exit code $status; ending pids ${busy[*]}"
exit "$status"
