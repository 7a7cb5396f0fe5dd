#!/usr/bin/env bash
# Installs what is missing, builds, and runs Solvane. The window application does not exist yet:
# this runs the command-line program that reports the built core framework and engine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh build
exec build/tools/solvane-about "$@"
