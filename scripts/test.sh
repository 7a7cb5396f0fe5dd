#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. This is the README's test command and
# what CI runs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh build
JOBS="${SOLVANE_JOBS:-$(nproc)}"
cd build
ctest --output-on-failure -j "$JOBS" --timeout 600
