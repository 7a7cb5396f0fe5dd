#!/usr/bin/env bash
# Builds the launcher and takes screenshots of its "application missing" alert under Xvfb at device
# pixel ratio 2: once as a host without an icon would see it, once with a host whose desktop entry
# has one (Solvane's own icon standing in for the host's):
#   scripts/launcher-screenshots.sh   writes build/launcher-alert@2x.png, build/launcher-alert-icon@2x.png
set -euo pipefail
cd "$(dirname "$0")/.."
SOLVANE_JOBS="${SOLVANE_JOBS:-3}" bash scripts/build.sh build >/dev/null
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/empty/applications" "$work/host/applications"
shell="$(readlink -f /proc/$$/exe)"
printf '[Desktop Entry]\nType=Application\nName=Host\nExec=%s\nIcon=%s\n' "$shell" \
  "$PWD/Ombrel/Resources/Desktop/app.solvane.Solvane.svg" >"$work/host/applications/host.desktop"

shoot() {  # <data folder> <output>
  xvfb-run -a -s "-screen 0 2560x1440x24" env QT_SCALE_FACTOR=2 XDG_DATA_HOME="$1" XDG_DATA_DIRS="$1" \
    SOLVANE_BRISKO_BUNDLE="$work/nowhere" bash -c '
      build/Ombrel/SolvaneBriskoBridge photo.jpg 2>/dev/null &
      launcher=$!
      sleep 2
      import -window root -crop 900x280+830+580 +repage "$0"
      kill "$launcher"' "$2"
}
shoot "$work/empty" build/launcher-alert@2x.png
shoot "$work/host" build/launcher-alert-icon@2x.png
echo "build/launcher-alert@2x.png build/launcher-alert-icon@2x.png"
