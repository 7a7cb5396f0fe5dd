#!/usr/bin/env bash
# Screenshots of the gallery of 20 photos with a selection, with and without the quick preview, and
# blurred as during an export, at 2x under Xvfb: build/photo-gallery-preview@2x.png,
# build/photo-gallery@2x.png and build/photo-gallery-exporting@2x.png.
set -euo pipefail
build=${1:-build}
tool="$build/tools/photo-gallery/solvane-photo-gallery"
run() { xvfb-run -a -s "-screen 0 2560x1440x24" env QT_SCALE_FACTOR=2 "$tool" "$@"; }
run "$build/photo-gallery-preview@2x.png"
run "$build/photo-gallery@2x.png" --no-preview
run "$build/photo-gallery-exporting@2x.png" --blur
