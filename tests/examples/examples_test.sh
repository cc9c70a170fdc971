#!/usr/bin/env bash
# The example callers of examples/ against the simulated launcher: each run
# must end with the outcome the tool's own lines give, every line the
# caller read must be named by docs/report-lines.tsv, and a hidden run that
# pressed nothing must be followed by the caller's `show`.
#
#   examples_test.sh build SOURCE BUILD   compile both callers into BUILD/examples
#   examples_test.sh wine8 SOURCE BUILD   a press, a NOTFOUND and a killed run (Wine 8)
#   examples_test.sh wine10 SOURCE BUILD  a LOGIN (Wine 10: a sign-in page needs UI Automation)
#
# A run that had too little time for its outcome (a loaded machine) is
# inconclusive: it runs once more with twice the time, then the entry is
# skipped (exit 127), never failed.
set -uo pipefail
mode="$1" source="$2" build="$3"
out="$build/examples"
grammar="$source/docs/report-lines.tsv"
failures=0
inconclusive=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

if [ "$mode" = build ]; then
  for program in javac mcs mono; do
    command -v "$program" >/dev/null || { echo "FAIL: $program is missing (scripts/install-packages.sh installs it)"; exit 1; }
  done
  rm -rf "$out" && mkdir -p "$out/java" "$out/csharp"
  javac -Xlint:all -Werror -d "$out/java" "$source/examples/java/KestrovPlay.java" || exit 1
  mcs -warnaserror -out:"$out/csharp/KestrovPlay.exe" "$source/examples/csharp/KestrovPlay.cs" || exit 1
  echo "built $out/java/KestrovPlay.class and $out/csharp/KestrovPlay.exe"
  exit 0
fi

if [ "$mode" = wine10 ]; then runner="$source/tools/wine10-run"; else runner="$source/tools/wine-run"; fi
work=$(mktemp -d /tmp/kv6-examples.XXXXXX)
launcher_pid=""
# The tool's own close ends the launcher (and shows it first); a launcher
# that does not go is killed, which under Wine 10 ends only its runner.
stop_launcher() {
  [ -n "$launcher_pid" ] || return 0
  (cd "$source" && "$runner" "$build/KestrovV6-Play.exe" close) >/dev/null 2>&1
  for _ in $(seq 1 100); do
    kill -0 "$launcher_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill "$launcher_pid" 2>/dev/null
  wait "$launcher_pid" 2>/dev/null
  launcher_pid=""
}
trap 'stop_launcher; rm -rf "$work"' EXIT

# start_launcher ARGS...: the simulated launcher in the background, until READY.
start_launcher() {
  rm -f "$work/launcher.log"
  (cd "$source" && exec "$runner" "$build/MinecraftLauncher.exe" --log "Z:$work/launcher.log" \
     --lifetime-ms 120000 --java-ms 3000 "$@") >/dev/null 2>&1 &
  launcher_pid=$!
  for _ in $(seq 1 600); do
    grep -q READY "$work/launcher.log" 2>/dev/null && return 0
    sleep 0.1
  done
  fail "the simulated launcher did not start ($*)"
  return 1
}

# call CALLER TIMEOUT [--watchdog S]: the caller, given the command that starts the tool.
call() {
  local caller="$1"; shift
  local timeout="$1"; shift
  case "$caller" in
    java) (cd "$source" && java -cp "$out/java" KestrovPlay "$grammar" "$timeout" "$@" "$runner" "$build/KestrovV6-Play.exe") ;;
    csharp) (cd "$source" && mono "$out/csharp/KestrovPlay.exe" "$grammar" "$timeout" "$@" "$runner" "$build/KestrovV6-Play.exe") ;;
  esac
}

# check CALLER WHAT OUTPUT OUTCOME [LINE...]: the outcome, and lines the
# caller must have read from the tool.
check() {
  local caller="$1" what="$2" output="$3" outcome="$4"; shift 4
  local ok=1
  grep -q "^OUTCOME $outcome:" <<<"$output" || { fail "$caller, $what: not OUTCOME $outcome"; ok=0; }
  ! grep -q "^tool, unknown line: " <<<"$output" || { fail "$caller, $what: a line outside docs/report-lines.tsv"; ok=0; }
  for line in "$@"; do
    grep -qxF "tool: $line" <<<"$output" || { fail "$caller, $what: no \"$line\" line"; ok=0; }
  done
  [ "$ok" = 1 ] && echo "ok   $caller, $what: $(grep '^OUTCOME ' <<<"$output")"
  [ "$ok" = 1 ] || printf '%s\n' "$output" | sed 's/^/    /'
}

for caller in java csharp; do
  if [ "$mode" = wine8 ]; then
    # A press: Play beside the profile's marker, the game started.
    if start_launcher --marker; then
      output=$(call "$caller" 20)
      check "$caller" "a press" "$output" PRESSED "PRESSED message"
      grep -q "^tool: SHOWN " <<<"$output" && fail "$caller, a press: show after a confirmed press"
      stop_launcher
    fi
    # NOTFOUND: no Play at all; the tool shows the launcher again, the caller's show too.
    if start_launcher --no-button; then
      output=$(call "$caller" 4)
      check "$caller" "a NOTFOUND" "$output" NOTFOUND "NOTFOUND" "SHOWN 1"
      stop_launcher
    fi
    # Killed: a run the watchdog ends while the launcher is hidden; the
    # caller's show brings it back.
    for watchdog in 10 20; do
      start_launcher --no-button || break
      output=$(call "$caller" 60 --watchdog "$watchdog")
      if ! grep -q "^tool: WINDOW " <<<"$output"; then
        stop_launcher
        echo "inconclusive: $caller, a killed run: the tool had not hidden the launcher within $watchdog s"
        [ "$watchdog" = 20 ] && inconclusive=$((inconclusive + 1))
        continue
      fi
      check "$caller" "a killed run" "$output" KILLED "SHOWN 1"
      tr -d '\r' <"$work/launcher.log" | grep -qx "SHOWN" || fail "$caller, a killed run: the launcher was not shown again"
      stop_launcher
      break
    done
  else
    # LOGIN: a sign-in page, read through UI Automation.
    for timeout in 20 40; do
      start_launcher --page "Z:$source/kit/pages/sign-in.page" || break
      output=$(call "$caller" "$timeout")
      stop_launcher
      if ! grep -qx "tool: LOGIN" <<<"$output" && grep -qx "tool: NOTFOUND" <<<"$output"; then
        echo "inconclusive: $caller, a LOGIN: no LOGIN within --timeout $timeout"
        [ "$timeout" = 40 ] && inconclusive=$((inconclusive + 1))
        continue
      fi
      check "$caller" "a LOGIN" "$output" LOGIN "LOGIN" "NOTFOUND" "SHOWN 1"
      break
    done
  fi
done

[ "$failures" -eq 0 ] || { echo "$failures failed"; exit 1; }
[ "$inconclusive" -eq 0 ] || { echo "skipped: $inconclusive inconclusive"; exit 127; }
echo "all passed"
