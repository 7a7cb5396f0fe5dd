#!/usr/bin/env bash
# Installs what is missing, builds, and starts Solvane.
#   scripts/run.sh                 starts Solvane on its open screen
#   scripts/run.sh PHOTO [...]     starts Solvane with the photos open (handed to a running Solvane if there is one)
# With no display (no X11 or Wayland session), the command-line enhancer enhances a sample photo instead
# and says where the result is (build/tools/solvane-render INPUT OUTPUT does the same for any photo).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh build
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "No display to show Solvane's window: enhancing a sample photo with the command-line enhancer instead."
  output=build/solvane-sample-enhanced.jpg
  build/tools/solvane-render Ombrel/Resources/Samples/mountain-path.jpg "$output" >/dev/null
  echo "Enhanced photo: $PWD/$output"
  exit 0
fi
exec build/Ombrel/Solvane "$@"
