#!/usr/bin/env bash
# The whole test run: installs what is missing, builds, makes every test
# lane's display and Wine prefix (before any test runs, so that making one
# never loads the machine under a running test), runs every test program
# under Wine on a virtual display, then the native checks (the pixel code
# under the sanitizers, and libFuzzer over the readers of outside bytes).
# Each long set-up step says what it does and costs; their logs are in
# build/logs. Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
scripts/lanes.sh prepare
status=0
ctest --preset mingw || status=1
if [ -x scripts/native-checks.sh ]; then
  scripts/native-checks.sh || status=1
fi
exit $status
