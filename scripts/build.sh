#!/usr/bin/env bash
# Installs what is missing, then configures and builds build/mingw.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-packages.sh
cmake --preset mingw >/dev/null
cmake --build --preset mingw
