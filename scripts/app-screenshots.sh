#!/usr/bin/env bash
# Builds Solvane and takes screenshots of its main window under Xvfb, at device pixel ratio 1 and 2,
# with two sample photos opened and once with the top bar's menu open:
#   scripts/app-screenshots.sh      writes build/solvane.png, build/solvane@2x.png, build/solvane-menu.png
# Runs in a private SOLVANE_HOME, so it never meets a Solvane the user has running.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh build >/dev/null
home="$(mktemp -d)"
trap 'rm -rf "$home"' EXIT
photos=(tests/data/enhance/rocket.png tests/data/enhance/coffee.png)
export SOLVANE_HOME="$home" TMPDIR="$home"
xvfb-run -a -s "-screen 0 1600x1000x24" build/Ombrel/Solvane --screenshot build/solvane.png "${photos[@]}"
xvfb-run -a -s "-screen 0 2600x1800x24" env QT_SCALE_FACTOR=2 \
  build/Ombrel/Solvane --screenshot build/solvane@2x.png "${photos[@]}"
xvfb-run -a -s "-screen 0 1600x1000x24" build/Ombrel/Solvane --screenshot-menu build/solvane-menu.png "${photos[@]}"
