#!/usr/bin/env bash
# Installs what is missing, builds, and runs Solvane.
# The desktop program's screens that show and export photos are not built yet (build/Ombrel/Solvane
# starts its window): this runs the command-line enhancer, which enhances photos exactly as the
# application does, through the core framework and the default preset.
#   scripts/run.sh                      enhances a sample photo into build/solvane-sample-enhanced.jpg
#   scripts/run.sh INPUT OUTPUT [...]   enhances INPUT into OUTPUT (see tools/solvane-render.cpp)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh build
build/tools/solvane-about
if (($# == 0)); then
  set -- tests/data/enhance/coffee.png build/solvane-sample-enhanced.jpg
fi
build/tools/solvane-render "$@"
echo "wrote $2"
