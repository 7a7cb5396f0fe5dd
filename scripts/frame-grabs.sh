#!/usr/bin/env bash
# The screen transitions of the real program grabbed frame by frame (tools/frame-grab) while real X11
# input drives it (xdotool), under a window manager (openbox) or on the bare X server.
#   scripts/frame-grabs.sh [build-dir] [output-dir] [scale] [wm|bare]   (scale 1: 1600 x 1000; 2: 2560 x 1440)
# Each transition leaves OUT/<n>-<name>/ with one PNG per different picture and index.tsv (times, rows
# changed, shares of near-white and near-black pixels; "m1" marks the picture after the action was sent):
#   1-open-to-photo     a photo handed over on the open screen
#   2-photo-to-gallery  two more handed over on the single image
#   3-preview-open      Space on the gallery's first cell (the quick preview grows out of it)
#   4-preview-close     Space again (it shrinks back)
#   5-preview-open-4x3, 6-preview-close-4x3   the same for the third photo (its preview reaches the
#                       gallery's export button)
#   7-gallery-to-photo  Delete on the second and third photos (the first is shown alone)
#   8-start-over        Ctrl+N answered with Return (back to the open screen)
# and OUT/summary.txt: for each transition the pictures with a large near-white or near-black share
# that the screens before and after do not have (the artefacts to look at first).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD="$(cd "${1:-build}" && pwd)"
OUT="${2:-$BUILD/frame-grabs}"
S="${3:-2}"
WM="${4:-wm}"
GRAB="$BUILD/tools/frame-grab/solvane-frame-grab"
SOLVANE="$BUILD/Ombrel/Solvane"
for tool in Xvfb xdotool; do
  command -v "$tool" > /dev/null || { echo "SKIP: $tool is missing (scripts/deps.sh installs it)"; exit 77; }
done
if [[ "$WM" == wm ]] && ! command -v openbox > /dev/null; then
  echo "SKIP: openbox is missing (scripts/deps.sh installs it)"
  exit 77
fi
[[ -x "$GRAB" && -x "$SOLVANE" ]] || { echo "FAIL: build solvane-frame-grab and Solvane first"; exit 1; }
mkdir -p "$OUT"
OUT="$(cd "$OUT" && pwd)"
rm -rf "${OUT:?}"/*
WORK="$(mktemp -d)"
source scripts/lib/screen.sh
# Everything started here runs ahead of the rest of a loaded machine when that is allowed: parallel
# builds would otherwise stretch the frames and starve the grabber.
start_screen "$S" "$([[ "$WM" == wm ]] && echo openbox)" ahead

SAMPLES="$PWD/Ombrel/Resources/Samples"
mkdir -p "$WORK/photos" "$WORK/cwd"
P1="$WORK/photos/forest creek.jpg" P2="$WORK/photos/dandelions.jpg" P3="$WORK/photos/mountain path.jpg"
cp "$SAMPLES/forest-creek.jpg" "$P1"
cp "$SAMPLES/dandelions.jpg" "$P2"
cp "$SAMPLES/mountain-path.jpg" "$P3"

fail() { echo "FAIL: $*"; tail -20 "$OUT/solvane.log" 2> /dev/null || true; exit 1; }
wait_for() {  # wait_for SECONDS WHAT COMMAND...
  local limit=$1 what=$2
  shift 2
  local end=$((SECONDS + limit))
  until "$@"; do
    ((SECONDS < end)) || fail "$what (waited $limit s)"
    sleep 0.1
  done
}
pt() { echo $(($1 * S)); }
geometry() { eval "$(xdotool getwindowgeometry --shell "$MAIN")"; }
width_at_least() { geometry; ((WIDTH >= $(pt "$1"))); }
width_below() { geometry; ((WIDTH < $(pt "$1"))); }
# The screen unchanged for 0.4 s: it has settled.
still() { "$GRAB" --wait-still 400 --seconds 3; }
n=0
# grab NAME SECONDS COMMAND...: the grabber runs, the command is sent (marked m1); the grabber stops
# once the screen has changed and stayed still for 1.5 s, or after SECONDS.
grab() {
  local name=$1 seconds=$2
  shift 2
  n=$((n + 1))
  local dir="$OUT/$n-$name" log="$WORK/grab-$n.log"
  "${UP[@]}" "$GRAB" "$dir" --seconds "$seconds" --until-still 1500 > "$log" 2>&1 &
  local pid=$!
  until grep -q grabbing "$log" 2> /dev/null; do sleep 0.02; done
  sleep 0.1
  kill -USR1 "$pid"
  "$@"
  wait "$pid" || true
  echo "$n-$name: $(sed -n 2p "$log")"
}

cd "$WORK/cwd"
"${UP[@]}" "$SOLVANE" > "$OUT/solvane.log" 2>&1 &
solvane=$!
MAIN=$(timeout 30 xdotool search --sync --onlyvisible --pid "$solvane" | head -1) || fail "no window came up"
wait_for 20 "the open screen to settle" still

hand_over() { "$SOLVANE" "$@" >> "$OUT/solvane.log" 2>&1; }
grab open-to-photo 20 hand_over "$P1"
wait_for 40 "the single image" width_at_least 600
wait_for 30 "the single image to settle" still

grab photo-to-gallery 20 hand_over "$P1" "$P2" "$P3"
wait_for 40 "the gallery" width_at_least 1000
wait_for 30 "the gallery to settle" still

# The first cell: columns of 222 points 20 apart, centred, under the 36-point title bar.
geometry
W=$((WIDTH / S))
COLUMNS=$(((W - 20) / 242))
LEFT=$(((W - (COLUMNS * 222 + (COLUMNS + 1) * 20)) / 2 + 20))
CELL_X=$((X + (LEFT + 111) * S)) CELL_Y=$((Y + (36 + 20 + 78) * S))
xdotool mousemove "$CELL_X" "$CELL_Y"
sleep 0.2
xdotool click 1
sleep 0.5
preview_shown() { [[ -n "$(xdotool search --onlyvisible --pid "$solvane" 2> /dev/null | grep -vx "$MAIN")" ]]; }
preview_gone() { ! preview_shown; }
grab preview-open 3 xdotool key space
wait_for 10 "the quick preview" preview_shown
wait_for 30 "the quick preview to settle" still
grab preview-close 2 xdotool key space
wait_for 10 "the quick preview to close" preview_gone
wait_for 30 "the gallery to settle" still
# The third photo (4:3): its preview reaches down to the gallery's export button.
xdotool mousemove "$((CELL_X + 2 * 242 * S))" "$CELL_Y"
sleep 0.2
xdotool click 1
sleep 0.5
grab preview-open-4x3 3 xdotool key space
wait_for 10 "the quick preview" preview_shown
wait_for 30 "the quick preview to settle" still
grab preview-close-4x3 2 xdotool key space
wait_for 10 "the quick preview to close" preview_gone
wait_for 30 "the gallery to settle" still

# Gallery to one photo: the second and third cells selected and deleted.
xdotool mousemove "$((CELL_X + 242 * S))" "$CELL_Y"
sleep 0.2
xdotool click 1
sleep 0.3
xdotool mousemove "$((CELL_X + 2 * 242 * S))" "$CELL_Y"
sleep 0.2
xdotool keydown ctrl click 1 keyup ctrl
sleep 0.5
# Sends the keys, then answers the question they raise ("Delete 2 images?", "Start over?") with
# Return, its default button, once it shows (nothing when none comes within 5 s).
keys_then_answer() {
  xdotool key "$@"
  local end=$((SECONDS + 5))
  until [[ -n "$(xdotool search --onlyvisible --pid "$solvane" 2> /dev/null | grep -vx "$MAIN")" ]]; do
    ((SECONDS < end)) || return 0
    sleep 0.05
  done
  sleep 0.3
  xdotool key Return
}
grab gallery-to-photo 10 keys_then_answer Delete
wait_for 40 "the single image after deleting" width_below 1000
wait_for 30 "the single image to settle" still

xdotool windowfocus "$MAIN" 2> /dev/null || true
grab start-over 10 keys_then_answer ctrl+n
wait_for 20 "the open screen" width_below 600

# Pictures worth a look first: a near-white or near-black share well above the settled ends'.
{
  for dir in "$OUT"/*/; do
    [[ -f "$dir/index.tsv" ]] || continue
    awk -v name="$(basename "$dir")" 'NR == 2 { w0 = $6; b0 = $7 } NR > 1 { w[NR] = $6; b[NR] = $7; row[NR] = $0; last = NR }
      END {
        printf "%s: %d pictures\n", name, last - 1
        for (i = 2; i <= last; i++) {
          if (w[i] > w0 + 30 && w[i] > w[last] + 30 || b[i] > b0 + 30 && b[i] > b[last] + 30) print "  " row[i]
        }
      }' "$dir/index.tsv"
  done
} > "$OUT/summary.txt"
cat "$OUT/summary.txt"
