#!/usr/bin/env bash
# Builds the toolkit gallery and takes its screenshots under Xvfb, at device pixel ratio 1 and 2:
#   scripts/gallery.sh            writes build/gallery.png and build/gallery@2x.png
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh build >/dev/null
xvfb-run -a -s "-screen 0 1400x900x24" build/tools/gallery/solvane-gallery --screenshot build/gallery.png
xvfb-run -a -s "-screen 0 2600x1700x24" env QT_SCALE_FACTOR=2 \
  build/tools/gallery/solvane-gallery --screenshot build/gallery@2x.png
