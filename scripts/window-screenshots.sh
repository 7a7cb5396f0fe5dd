#!/usr/bin/env bash
# Builds the main window demo and takes its screenshots under Xvfb at device pixel ratio 2 (a
# 2560 x 1440 screen): the open screen at rest and while a photo hovers, and the window in modes
# 1 and 2. Writes build/window-demo/{open,open-drag,mode-1,mode-2}.png.
set -euo pipefail
cd "$(dirname "$0")/.."
SOLVANE_JOBS="${SOLVANE_JOBS:-3}" bash scripts/build.sh build >/dev/null
home="$(mktemp -d)"
trap 'rm -rf "$home"' EXIT
export SOLVANE_HOME="$home" TMPDIR="$home"
xvfb-run -a -s "-screen 0 2560x1440x24" env QT_SCALE_FACTOR=2 build/tools/window-demo/solvane-window-demo \
  --screenshots build/window-demo --photo tests/data/enhance/coffee.png --shadow
