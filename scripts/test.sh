#!/usr/bin/env bash
# The whole test run: installs what is missing, builds, runs every test
# program under Wine on a virtual display, then the native sanitizer checks
# of the pixel code. Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
status=0
ctest --preset mingw || status=1
if [ -x scripts/native-checks.sh ]; then
  scripts/native-checks.sh || status=1
fi
exit $status
