#!/usr/bin/env bash
# A real X11 drop on Solvane under Xvfb (2560 x 1440, device pixel ratio 2). A tiny drag source
# (tools/drag-source) drags a photo as a file manager does: xdotool presses and releases the button,
# the source glides the pointer onto Solvane's open screen (Xvfb moves the pointer for a warp, not
# for xdotool's XTest moves). Writes build/x11-drop-hover.png (over the window, during the drag) and
# build/x11-drop.png (after the drop), and ends with "drop taken" or "drop refused".
#   scripts/x11-drop.sh [PHOTO]     (default: a sample photo)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh >/dev/null
bash scripts/build.sh build >/dev/null
photo="$(realpath "${1:-Ombrel/Resources/Samples/forest-creek.jpg}")"
home="$(mktemp -d)"
trap 'rm -rf "$home"' EXIT
export SOLVANE_HOME="$home" TMPDIR="$home"
xvfb-run -a -s "-screen 0 2560x1440x24" env QT_SCALE_FACTOR=2 bash -c '
  set -euo pipefail
  build/Ombrel/Solvane >"$TMPDIR/solvane.log" 2>&1 &
  solvane=$!
  target=$(xdotool search --sync --onlyvisible --name "^Solvane$" | head -1)
  sleep 1.5
  eval "$(xdotool getwindowgeometry --shell "$target")"
  # The source is at scale 1 so that its pointer positions are the screen pixels xdotool reports.
  QT_SCALE_FACTOR=1 build/tools/drag-source/solvane-drag-source --at 20,20 --to "$((X + WIDTH / 2)),$((Y + HEIGHT / 2))" \
    "$1" >"$TMPDIR/source.log" 2>&1 &
  xdotool search --sync --onlyvisible --name "^drag source$" >/dev/null
  sleep 1
  xdotool mousedown 1
  sleep 0.2
  xdotool mousemove_relative 2 2  # the first move starts the drag
  sleep 2.5
  import -window root build/x11-drop-hover.png
  xdotool mouseup 1
  sleep 6
  import -window root build/x11-drop.png
  kill $solvane
  wait $solvane 2>/dev/null || true
  if grep -q "drag ended: copy" "$TMPDIR/source.log"; then echo "drop taken"; else echo "drop refused"; fi
' _ "$photo"
echo "screenshots: build/x11-drop-hover.png build/x11-drop.png"
