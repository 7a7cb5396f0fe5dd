#!/usr/bin/env bash
# Solvane as a user drives it, end to end: the real program on its own Xvfb screen, walked with real
# X11 pointer and key events (xdotool), checked by the screen's pixels and by the files it writes.
#   scripts/user-e2e.sh [--openbox] [build-dir] [output-dir] [scale]   (scale 1: 1600 x 1000; 2: 2560 x 1440)
# --openbox: under a window manager (openbox, started on the walk's screen before the program), as
# users run it; without it, on the bare X server.
# The walk: a photo opened from the command line; the split line dragged (its pixels must follow); the
# strength slider dragged (the picture must change); the photo exported through the save dialog into a
# chosen subfolder (the file must be there at full size); three photos handed over (the gallery); the
# three exported into a chosen folder, and again, answering the "already exists" question once with
# "Apply to all"; a fourth photo handed over and the second of four deleted in the gallery (three cells
# must show, and an export must write exactly those three); Start Over; the title menu opened on the
# open screen; Quit.
# Every wait is on a condition (a window, a file, pixels) with a limit; the limits are generous, so
# that a loaded machine (parallel builds) passes too, and cost nothing when it is quick. The
# screenshots of each step and the program's output are left in the output folder. Exit 77 (skipped)
# without Xvfb (or openbox, when asked for).
set -euo pipefail
cd "$(dirname "$0")/.."
WM=""
if [[ "${1:-}" == --openbox ]]; then
  WM=openbox
  shift
fi
BUILD="$(cd "${1:-build}" && pwd)"
OUT="${2:-$BUILD/user-e2e}"
S="${3:-1}"
if ! command -v Xvfb > /dev/null; then
  echo "SKIP: Xvfb is missing (scripts/deps.sh installs it)"
  exit 77
fi
if [[ -n "$WM" ]] && ! command -v openbox > /dev/null; then
  echo "SKIP: openbox is missing (scripts/deps.sh installs it)"
  exit 77
fi
for tool in xdotool xprop import convert compare identify; do
  command -v "$tool" > /dev/null || { echo "FAIL: $tool is missing (scripts/deps.sh installs it)"; exit 1; }
done
mkdir -p "$OUT"
OUT="$(cd "$OUT" && pwd)"
rm -rf "${OUT:?}"/*
WORK="$(mktemp -d)"
SOLVANE="$BUILD/Ombrel/Solvane"
source scripts/lib/screen.sh
# ---- The screen, under the window manager when asked for.
start_screen "$S" "$WM"

# ---- Photos, folders.
SAMPLES="$PWD/Ombrel/Resources/Samples"
P1="$WORK/photos/forest creek.jpg" P2="$WORK/photos/dandelions.jpg" P3="$WORK/photos/mountain path.jpg"
mkdir -p "$WORK/photos" "$WORK/exports/single/chosen" "$WORK/exports/batch"
# The first photo is spoilt on purpose (a stop darker, with a blue cast): the enhancement leaves a good
# photo nearly as it is, so only a photo it visibly mends lets the split line and the strength show a change.
convert "$SAMPLES/forest-creek.jpg" -evaluate multiply 0.5 -channel B -evaluate multiply 1.3 +channel \
  -quality 92 "$P1"
cp "$SAMPLES/dandelions.jpg" "$P2"
cp "$SAMPLES/mountain-path.jpg" "$P3"

CHECKOUT=$PWD
touch "$WORK/started"
START=$SECONDS
step=0
failures=0
fail() {
  echo "FAIL: $*"
  shot "$OUT/failure.png" || true
  echo "--- program output"; tail -30 "$OUT/solvane.log" 2> /dev/null || true
  exit 1
}
ok() { echo "ok   $*  ($((SECONDS - START)) s)"; }
# The limits below are what a quiet machine needs at most; a loaded one (parallel builds, a load of 4
# a core) runs everything several times slower, so each is stretched by USER_E2E_PATIENCE (default 4).
# A wait ends as soon as its condition holds: the stretch costs nothing unless a step fails.
PATIENCE=${USER_E2E_PATIENCE:-4}
# A check the walk can go on after: its failure is counted and reported at the end.
# check SECONDS WHAT COMMAND...
check() {
  local limit=$(($1 * PATIENCE)) what=$2
  shift 2
  local end=$((SECONDS + limit))
  until "$@"; do
    if ((SECONDS >= end)); then
      echo "FAIL: $what (waited $limit s)"
      shot "$OUT/failure-$((failures + 1)).png" || true
      failures=$((failures + 1))
      return 1
    fi
    sleep 0.1
  done
}
pt() { echo $(($1 * S)); }  # points to pixels
shot() { import -window root "$1"; }
save_step() { step=$((step + 1)); shot "$OUT/$(printf %02d $step)-$1.png"; }
# wait_for SECONDS WHAT COMMAND...: runs the command every 0.1 s until it succeeds.
wait_for() {
  local limit=$(($1 * PATIENCE)) what=$2
  shift 2
  local end=$((SECONDS + limit))
  until "$@"; do
    ((SECONDS < end)) || fail "$what (waited $limit s)"
    sleep 0.1
  done
}
geometry() {  # X Y WIDTH HEIGHT of the main window
  eval "$(xdotool getwindowgeometry --shell "$MAIN")"
}
# Runs of pixels on one row of a screenshot: "start end" for each run of at least MIN pixels whose
# colour passes the test (white: all channels >= 245; green: the slider's fill).
runs() {  # runs FILE Y X0 X1 MIN white|green
  convert "$1" -crop "$(($4 - $3))x1+$3+$2" +repage -depth 8 txt:- | awk -F'[(),: ]+' -v x0="$3" -v min="$5" \
    -v kind="$6" '
    NR > 1 {
      x = $1 + x0; r = $3; g = $4; b = $5
      hit = kind == "white" ? (r >= 245 && g >= 245 && b >= 245) : (g >= 140 && r <= 120 && g - b >= 40)
      if (hit) { if (!n) s = x; n++; e = x } else { if (n >= min) print s, e; n = 0 }
    }
    END { if (n >= min) print s, e }'
}
# The split line: a white strip 4 to 8 points wide, at the same place on two rows of the photo.
line_x() {  # line_x FILE -> its centre, or nothing
  geometry
  local a b
  a=$(runs "$1" $((Y + HEIGHT / 2)) "$X" $((X + WIDTH)) "$(pt 4)" white |
    awk -v max="$(pt 8)" '$2 - $1 + 1 <= max { print ($1 + $2) / 2 }')
  b=$(runs "$1" $((Y + HEIGHT * 3 / 4)) "$X" $((X + WIDTH)) "$(pt 4)" white |
    awk -v max="$(pt 8)" '$2 - $1 + 1 <= max { print ($1 + $2) / 2 }')
  for x in $a; do for y in $b; do
    awk -v x="$x" -v y="$y" 'BEGIN { d = x - y; exit !(d < 1.5 && d > -1.5) }' && { echo "${x%.*}"; return; }
  done; done
}
line_found() { shot "$WORK/now.png"; LINE=$(line_x "$WORK/now.png"); [[ -n "$LINE" ]]; }
# The line where it rests: seen at the same place twice in a row (it slides in as the photo appears).
line_steady() {
  local last=${LINE:-}
  line_found && [[ "$LINE" == "$last" ]]
}
line_near() { shot "$WORK/now.png"; LINE=$(line_x "$WORK/now.png"); [[ -n "$LINE" ]] && ((LINE > $1 - $(pt 4) && LINE < $1 + $(pt 4))); }
# The white controls at the window's bottom right (the export pill, the strength button), right first,
# as "centre-x" on the row 16 points above the bottom edge (below their titles).
controls() {
  geometry
  runs "$1" $((Y + HEIGHT - $(pt 16))) $((X + WIDTH / 2)) $((X + WIDTH)) "$(pt 20)" white |
    awk '{ print int(($1 + $2) / 2) }' | sort -rn
}
# The rightmost white control's centre and width (the gallery's "EXPORT 3 PHOTOS" is over 150 points wide,
# the end view's "DONE" below it); PILL_X its centre.
pill() {  # sets PILL_X and PILL_W (0 without one)
  geometry
  local run
  run=$(runs "$1" $((Y + HEIGHT - $(pt 16))) $((X + WIDTH / 2)) $((X + WIDTH)) "$(pt 20)" white | tail -1)
  PILL_W=0
  [[ -n "$run" ]] || return 0
  PILL_X=$(((${run% *} + ${run#* }) / 2))
  PILL_W=$((${run#* } - ${run% *} + 1))
}
gallery_export_shown() { shot "$WORK/now.png"; pill "$WORK/now.png"; ((PILL_W >= $(pt 150))); }
done_shown() { shot "$WORK/now.png"; pill "$WORK/now.png"; ((PILL_W > 0 && PILL_W < $(pt 150))); }
# A pointer drag with the left button, in steps, as a hand does it.
drag() {  # drag X0 Y0 X1 Y1
  xdotool mousemove "$1" "$2"
  sleep 0.15
  xdotool mousedown 1
  local i
  for i in 1 2 3 4 5 6 7 8 9 10; do
    xdotool mousemove $(($1 + ($3 - $1) * i / 10)) $(($2 + ($4 - $2) * i / 10))
    sleep 0.03
  done
  xdotool mouseup 1
}
# The pointer rests a moment where it lands before the button goes down: a press sent the instant the
# pointer moves is now and then taken for the place it came from.
click() {
  xdotool mousemove "$1" "$2"
  sleep 0.15
  xdotool click 1
}
# Windows of the program other than the main one (dialogs, alerts), one id a line.
# (At least 200 x 80 points: a tooltip or a menu's shadow is no dialog.)
other_windows() {
  local w
  for w in $(xdotool search --onlyvisible --pid "$solvane" 2> /dev/null | grep -vx "$MAIN"); do
    W_WIDTH=0 W_HEIGHT=0
    eval "$(xdotool getwindowgeometry --shell "$w" 2> /dev/null | sed 's/^/W_/')" || continue
    ((W_WIDTH >= $(pt 200) && W_HEIGHT >= $(pt 80))) && echo "$w"
  done
  return 0
}
dialog_shown() { DIALOG=$(other_windows | head -1); [[ -n "$DIALOG" ]]; }
no_dialog() { [[ -z "$(other_windows)" ]]; }
# Types into the dialog's focused field (the file name) and presses Return.
type_into_dialog() {
  xdotool windowfocus --sync "$DIALOG" 2> /dev/null || xdotool windowfocus "$DIALOG"
  xdotool key --clearmodifiers ctrl+a
  xdotool type --delay 4 "$1"
  xdotool key Return
  wait_for 10 "the dialog to close after Return" dialog_closed "$DIALOG"
}
dialog_closed() { ! other_windows | grep -qx "$1"; }
# The export menu of the row at the bottom right: once open, its white panel rises above the pill;
# its first item ("Save to disk") is the panel's top row (the longest white run on a column inside it).
menu_top() {  # menu_top FILE [POINTS] -> the panel's top edge on the column 60 (or POINTS) points left of the window's right
  geometry
  local x=$((X + WIDTH - $(pt "${2:-60}")))
  convert "$1" -crop "1x$((HEIGHT / 2))+$x+$((Y + HEIGHT / 2))" +repage -depth 8 txt:- |
    awk -F'[(),: ]+' -v y0=$((Y + HEIGHT / 2)) '
      NR > 1 {
        w = ($3 >= 245 && $4 >= 245 && $5 >= 245)
        if (w && !n) start = $2 + y0
        n = w ? n + 1 : 0
        if (n > best) { best = n; top = start }
      }
      END { if (best > 40) print top }'
}
# The panel reaches more than 90 points above the bottom and has stopped rising (its top the same twice in
# a row): a press on an item still sliding up lands on the one below it.
menu_open() {
  local last=${MENU_TOP:-}
  shot "$WORK/now.png"; MENU_TOP=$(menu_top "$WORK/now.png")
  [[ -n "$MENU_TOP" ]] && ((MENU_TOP < Y + HEIGHT - $(pt 90))) && [[ "$MENU_TOP" == "$last" ]]
}
files_in() { find "$1" -maxdepth 1 -type f | wc -l; }
full_size() { [[ "$(identify -format '%w %h' "$1" 2> /dev/null)" == "$(identify -format '%w %h' "$2")" ]]; }
exited() { ! kill -0 "$solvane" 2> /dev/null; }

# ---- 1. A photo from the command line: the single image with its split line.
# The program runs in a private working folder: a dialog that starts there, or an export that lands
# there, never writes into the checkout.
mkdir -p "$WORK/cwd"
cd "$WORK/cwd"
"$SOLVANE" "$P1" > "$OUT/solvane.log" 2>&1 &
solvane=$!
MAIN=$(timeout $((30 * PATIENCE)) xdotool search --sync --onlyvisible --pid "$solvane" | head -1) || fail "no window came up"
LINE=""
wait_for 40 "the enhanced photo with its split line at rest" line_steady
cp "$WORK/now.png" "$WORK/split-before-drag.png"
save_step single-image
ok "the photo opened from the command line shows its split line at x=$LINE"

# ---- 1b. A tap on the photo (press and release in one go, as a touchpad sends them), then the pointer
# moves on: the window stays where it was. A drag held on the photo still moves the window, and
# only while held.
geometry
HOME_X=$X HOME_Y=$Y
# On the photo, away from the split line and from the controls at the bottom.
tap_x=$((LINE > X + WIDTH / 2 ? X + WIDTH / 4 : X + WIDTH * 3 / 4)) tap_y=$((Y + HEIGHT / 3))
click "$tap_x" "$tap_y"
for i in 1 2 3 4 5 6 7 8; do
  xdotool mousemove $((tap_x + 120 * i / 8)) $((tap_y + 160 * i / 8))
  sleep 0.03
done
window_at() { geometry; ((X == $1 && Y == $2)); }
# Nothing to wait for when all is well: the window is looked at for a second after the pointer moved.
stayed=1
for _ in $(seq 10); do
  sleep 0.1
  window_at "$HOME_X" "$HOME_Y" || { stayed=""; break; }
done
if [[ -n "$stayed" ]]; then
  ok "a tap on the photo and a pointer move leave the window where it was ($X,$Y)"
else
  echo "FAIL: the window followed the pointer after a tap on the photo ($HOME_X,$HOME_Y -> $X,$Y)"
  failures=$((failures + 1))
  xdotool click 1  # a window manager's move ends with a click
fi
# A real drag: the window follows by the pointer's travel, and stays once the button is up.
drag "$tap_x" "$tap_y" $((tap_x + $(pt 40))) $((tap_y + $(pt 30)))
xdotool mousemove $((tap_x + $(pt 100))) $((tap_y + $(pt 90)))
if check 10 "the window to move by the drag on the photo ($HOME_X,$HOME_Y + $(pt 40),$(pt 30))" \
  window_at $((HOME_X + $(pt 40))) $((HOME_Y + $(pt 30))); then
  ok "a drag held on the photo moved the window by its travel"
fi
# And back, so that the rest of the walk finds it where it was.
geometry
drag $((tap_x + $(pt 40))) $((tap_y + $(pt 30))) "$tap_x" "$tap_y"
wait_for 10 "the window back at $HOME_X,$HOME_Y after the drag back" window_at "$HOME_X" "$HOME_Y"
save_step tap-and-drag-on-photo

# ---- 2. The split line follows the pointer: pressed on the line, dragged 150 points right.
geometry
from=$LINE
drag "$from" $((Y + HEIGHT / 2)) $((from + $(pt 150))) $((Y + HEIGHT / 2))
if check 5 "the split line to move from $from to $((from + $(pt 150)))" line_near $((from + $(pt 150))); then
  ok "the split line was dragged from x=$from to x=$LINE"
  # The strip the line swept showed the enhanced photo and now shows the original: the two must differ
  # (the same pixels on both sides would be an enhancement that never reached the screen).
  strip() { convert "$1" -crop "$(pt 120)x$(pt 120)+$((from + $(pt 15)))+$((Y + HEIGHT / 3))" +repage "$2"; }
  strip "$WORK/split-before-drag.png" "$WORK/strip-after.png"
  strip "$WORK/now.png" "$WORK/strip-before.png"
  swept=$(compare -metric AE -fuzz 4% "$WORK/strip-after.png" "$WORK/strip-before.png" null: 2>&1 || true)
  # And the enhanced side is the brighter one (the photo was darkened): the two are not swapped.
  mean() { convert "$1" -colorspace Gray -format '%[fx:int(mean * 1000)]' info:; }
  lit_after=$(mean "$WORK/strip-after.png") lit_before=$(mean "$WORK/strip-before.png")
  if ((${swept%% *} > $(pt 120) * $(pt 120) / 2 && lit_after > lit_before + 30)); then
    ok "before and after differ on screen (${swept%% *} of $(($(pt 120) * $(pt 120))) pixels; brightness $lit_before -> $lit_after of 1000)"
  else
    echo "FAIL: the enhanced photo is not seen on screen (${swept%% *} pixels differ; brightness $lit_before -> $lit_after)"
    failures=$((failures + 1))
  fi
fi
save_step split-line-dragged

# ---- 3. The strength slider: opened, its knob dragged left; the picture changes.
shot "$WORK/before-strength.png"
mapfile -t ctl < <(controls "$WORK/before-strength.png")
((${#ctl[@]} >= 2)) || fail "the export and strength buttons were not found at the bottom right"
EXPORT_X=${ctl[0]} STRENGTH_X=${ctl[1]}
ROW_Y=$((Y + HEIGHT - $(pt 33)))
click "$STRENGTH_X" "$ROW_Y"
slider_open() {
  shot "$WORK/now.png"
  FILL=$(runs "$WORK/now.png" "$ROW_Y" "$X" $((X + WIDTH)) "$(pt 100)" green | tail -1)
  [[ -n "$FILL" ]]
}
wait_for 5 "the strength slider to open" slider_open
# A piece of the enhanced side, right of the split line (left of it the original stays as it is).
CROP_X=$((${LINE:-$from} + $(pt 15)))
((CROP_X <= X + WIDTH - $(pt 210))) || CROP_X=$((X + WIDTH - $(pt 210)))
photo_crop() { convert "$1" -crop "$(pt 200)x$(pt 120)+$CROP_X+$((Y + HEIGHT / 3))" +repage "$2"; }
# The slider's spring and the picture settle first: two looks in a row alike, the slider's fill too.
settled() {
  local fill=$FILL
  photo_crop "$WORK/now.png" "$WORK/strength-100.png"
  slider_open || return 1
  photo_crop "$WORK/now.png" "$WORK/strength-again.png"
  [[ "$FILL" == "$fill" ]] || return 1
  local diff
  diff=$(compare -metric AE -fuzz 1% "$WORK/strength-100.png" "$WORK/strength-again.png" null: 2>&1 || true)
  ((${diff%% *} == 0))
}
wait_for 10 "the strength slider and the picture to settle" settled
knob_x=$((${FILL#* } - $(pt 8)))
drag "$knob_x" "$ROW_Y" $((knob_x - $(pt 150))) "$ROW_Y"
picture_changed() {
  shot "$WORK/now.png"
  photo_crop "$WORK/now.png" "$WORK/strength-now.png"
  local diff
  diff=$(compare -metric AE -fuzz 2% "$WORK/strength-100.png" "$WORK/strength-now.png" null: 2>&1 || true)
  ((${diff%% *} > $(pt 200) * $(pt 120) / 10))
}
check 5 "the picture to change with the strength" picture_changed && ok "the strength slider's drag changed the picture"
save_step strength-lowered

# ---- 4. One photo exported through the save dialog into a chosen subfolder, at full size.
click "$EXPORT_X" "$ROW_Y"
MENU_TOP=""
wait_for 5 "the export menu to open" menu_open
click "$EXPORT_X" $((MENU_TOP + $(pt 30)))
wait_for 10 "the save dialog" dialog_shown
save_step save-dialog
SINGLE="$WORK/exports/single/chosen/forest creek.jpeg"
type_into_dialog "$SINGLE"
single_written() { [[ -s "$SINGLE" ]] && full_size "$SINGLE" "$P1"; }
check 30 "the exported photo at full size in the chosen subfolder ($SINGLE)" single_written &&
  ok "exported into the chosen subfolder at full size: $(identify -format '%w x %h' "$SINGLE")"

# ==== Save As by name and depth (begin) ====
# The single photo saved three more times, each name typed with its extension into the save dialog.
# The typed extension decides the type (the dialog's type follows it as it is typed) and the depth the
# dialog shows is the depth written: "typed.tif" typed while the dialog offers JPEG must be a TIFF of
# 16 bits (the depth the dialog offers first); "deep.png" a PNG of 16 bits; "plain.jpg" typed while it
# offers PNG an 8-bit JPEG. Checked with `file` and `identify`; no other file may appear beside them.
SAVEAS="$WORK/exports/single/typed"
mkdir -p "$SAVEAS"
# The single photo's export and strength buttons, back once the last export's end view went with its DONE.
# (At rest: the same two places twice in a row; a press while they slide in is lost.)
# DONE is pressed once, and again only when it still shows 10 s later: the export button comes back
# where DONE was, and as wide, before the strength button beside it, so a second press soon after
# the first would open the export menu.
DONE_PRESSED_AT=""
saveas_controls() {
  local last="${ctl[*]:-}"
  shot "$WORK/now.png"
  mapfile -t ctl < <(controls "$WORK/now.png")
  ((${#ctl[@]} >= 2)) && [[ "${ctl[*]}" == "$last" ]] && return 0
  if ((${#ctl[@]} < 2)) && { [[ -z "$DONE_PRESSED_AT" ]] || ((SECONDS - DONE_PRESSED_AT >= 10)); } && done_shown; then
    click "$PILL_X" $((Y + HEIGHT - $(pt 33)))
    DONE_PRESSED_AT=$SECONDS
  fi
  return 1
}
saveas_export() {  # saveas_export NAME: Save to disk from the export menu, NAME typed, a look, Return
  ctl=() DONE_PRESSED_AT=""
  wait_for 30 "the export button back after the last export (DONE pressed)" saveas_controls
  EXPORT_X=${ctl[0]}
  # A press while the end view still fades out is lost: pressed again only while no menu shows.
  # The menu stands narrower over the export button alone (its titles cross the column 60 points in):
  # its top is looked for 20 points left of the window's right.
  local try opened=""
  saveas_menu_open() {
    local last=${MENU_TOP:-}
    shot "$WORK/now.png"; MENU_TOP=$(menu_top "$WORK/now.png" 20)
    [[ -n "$MENU_TOP" ]] && ((MENU_TOP < Y + HEIGHT - $(pt 90))) && [[ "$MENU_TOP" == "$last" ]]
  }
  # The main window takes the keyboard focus back from the save dialog that closed.
  xdotool windowfocus --sync "$MAIN" 2> /dev/null || xdotool windowfocus "$MAIN"
  for try in 1 2 3; do
    # Already open (a press meant for DONE that came late): pressing again would close it.
    MENU_TOP=""
    saveas_menu_open || saveas_menu_open && { opened=1; break; }
    # The pointer comes from elsewhere, as a hand's does: a press where it already rests (on DONE)
    # is now and then not taken.
    xdotool mousemove $((EXPORT_X - $(pt 200))) $((ROW_Y - $(pt 200)))
    sleep 0.3
    xdotool mousemove "$EXPORT_X" "$ROW_Y"
    sleep 0.3
    xdotool mousedown 1
    sleep 0.15
    xdotool mouseup 1
    MENU_TOP=""
    local end=$((SECONDS + 15))
    until ((SECONDS >= end)); do
      saveas_menu_open && { opened=1; break; }
      # Rising still (above the pill's own top): no second press, it would close it.
      [[ -n "$MENU_TOP" ]] && ((MENU_TOP < Y + HEIGHT - $(pt 90))) && end=$((SECONDS + 15))
      sleep 0.1
    done
    [[ -n "$opened" ]] && break
  done
  [[ -n "$opened" ]] || fail "the export menu to open (three presses)"
  click "$EXPORT_X" $((MENU_TOP + $(pt 30)))
  wait_for 10 "the save dialog" dialog_shown
  xdotool windowfocus --sync "$DIALOG" 2> /dev/null || xdotool windowfocus "$DIALOG"
  xdotool key --clearmodifiers ctrl+a
  xdotool type --delay 4 "$SAVEAS/$1"
  sleep 0.3
  save_step "save-as-${1%.*}"
  xdotool key Return
  wait_for 10 "the dialog to close after Return" dialog_closed "$DIALOG"
}
saveas_written() { [[ -s "$SAVEAS/$1" ]] && identify "$SAVEAS/$1" > /dev/null 2>&1; }
saveas_check() {  # saveas_check NAME FILE-SAYS FORMAT DEPTH
  local name=$1 says=$2 format=$3 depth=$4
  check 30 "$name written" saveas_written "$name" || return 0
  local kind got
  kind=$(file -b "$SAVEAS/$name")
  got=$(identify -format '%m %z' "$SAVEAS/$name" 2> /dev/null)
  if [[ "$kind" == *"$says"* && "$got" == "$format $depth" ]]; then
    ok "$name is what its name says: $got ($kind)"
  else
    echo "FAIL: $name should be $format of $depth bits: identify says \"$got\", file says \"$kind\""
    failures=$((failures + 1))
  fi
}
saveas_export typed.tif
saveas_check typed.tif "TIFF image data" TIFF 16
saveas_export deep.png
saveas_check deep.png "16-bit/color RGB" PNG 16
saveas_export plain.jpg
saveas_check plain.jpg "JPEG image data" JPEG 8
saveas_files=$(find "$SAVEAS" -maxdepth 1 -type f -printf '%f\n' | sort | tr '\n' ' ')
if [[ "$saveas_files" == "deep.png plain.jpg typed.tif " ]]; then
  ok "the three names typed and nothing else: $saveas_files"
else
  echo "FAIL: the typed names should be the only files: $saveas_files"
  failures=$((failures + 1))
fi
# ==== Save As by name and depth (end) ====

# ---- 5. Three photos handed over as the desktop opens files: the gallery.
"$SOLVANE" "$P1" "$P2" "$P3" >> "$OUT/solvane.log" 2>&1 || fail "the second invocation did not hand over"
gallery_ready() {
  geometry
  ((WIDTH >= $(pt 1000))) || return 1
  # The export pill turns white once every photo is processed.
  gallery_export_shown
}
wait_for 40 "the gallery of three photos with its export button" gallery_ready
save_step gallery
ok "three photos in the gallery"

# ---- 6. The gallery exported into a chosen folder.
BATCH="$WORK/exports/batch"
three_written() { (($(files_in "$BATCH") == 3)); }
export_gallery() {  # export_gallery [FOLDER] (the batch folder without one)
  wait_for 10 "the gallery's export button" gallery_export_shown
  click "$PILL_X" $((Y + HEIGHT - $(pt 33)))
  MENU_TOP=""
  wait_for 5 "the gallery's export menu to open" menu_open
  click "$PILL_X" $((MENU_TOP + $(pt 30)))
  wait_for 10 "the folder dialog" dialog_shown
  save_step folder-dialog
  type_into_dialog "${1:-$BATCH}"
}
export_gallery
# Three files in the chosen folder, or a question (the photos went to another folder where they exist
# already, the first export's: a failure, answered so that the walk goes on).
written_or_asked() { three_written || dialog_shown; }
check 60 "three photos in the chosen folder $BATCH" written_or_asked || true
if three_written; then
  ok "the gallery exported three photos into the chosen folder"
elif dialog_shown; then
  echo "FAIL: the gallery's export did not write into the chosen folder (it asked about a file that exists elsewhere)"
  failures=$((failures + 1))
  save_step asked-about-another-folder
  xdotool windowfocus "$DIALOG" 2> /dev/null || true
  xdotool key Tab Tab space Return
fi
wait_for 40 "the export to end (no dialog left)" no_dialog
# The end view's DONE brings the gallery's export button back.
wait_for 40 "the export's end with its DONE button" done_shown
click "$PILL_X" $((Y + HEIGHT - $(pt 33)))
# Stale times, so that overwritten files show.
find "$BATCH" -maxdepth 1 -type f -exec touch -d '2000-01-01' {} +

# ---- 7. Again into the same folder: "already exists", answered once with "Apply to all".
export_gallery
if check 20 "the \"already exists\" question" dialog_shown; then
  save_step already-exists
  xdotool windowfocus "$DIALOG" 2> /dev/null || true
  # The check box follows the two buttons in the focus chain; Return presses the default "Overwrite".
  xdotool key Tab Tab space
  save_step apply-to-all
  xdotool key Return
  all_overwritten() {
    [[ -z "$(find "$BATCH" -maxdepth 1 -type f ! -newermt '2001-01-01')" ]] || return 1
    (($(files_in "$BATCH") == 3))
  }
  if check 40 "the three photos overwritten after one question" all_overwritten; then
    if [[ -n "$(other_windows)" ]]; then
      echo "FAIL: another question came after \"Apply to all\""
      failures=$((failures + 1))
    else
      ok "one question, \"Apply to all\": the three photos overwritten, no copies"
    fi
  fi
fi
wait_for 20 "the questions and the export to end" no_dialog

# ==== Gallery delete: one photo of four (a block of its own) ====
# A fourth photo handed over; the second cell deleted through its context menu ("Delete 1 Image..."):
# the grid must show a cell for each of the three left, and an export must write exactly those three.
P4="$WORK/photos/meadow.jpg"
convert "$SAMPLES/dandelions.jpg" -flop -modulate 100,60 -quality 92 "$P4"
AFTER_DELETE="$WORK/exports/after-delete"
mkdir -p "$AFTER_DELETE"
# The export before ends with its DONE button, which brings the gallery's export button back (pressed
# again while it shows: a press as it fades in is not taken).
done_pressed() {
  if done_shown; then
    click "$PILL_X" $((Y + HEIGHT - $(pt 33)))
    sleep 0.5
  fi
  gallery_export_shown
}
wait_for 40 "the gallery's export button before the fourth photo" done_pressed
"$SOLVANE" "$P4" >> "$OUT/solvane.log" 2>&1 || fail "the second invocation did not hand over the fourth photo"
# The cells on the grid's first two rows, "x y" of each centre: runs at least 100 points wide of
# columns that show a picture (at least a tenth of a band 60 points high across the cells' middle
# differs from the grid's background, rgb 45 45 45); gaps under 15 points are inside a picture.
cell_centres() {  # cell_centres FILE
  geometry
  local row top
  for row in 0 1; do
    top=$((Y + $(pt 36) + $(pt 98) + row * $(pt 176) - $(pt 30)))
    convert "$1" -crop "${WIDTH}x$(pt 60)+$X+$top" +repage -fuzz 6% -fill black -opaque 'rgb(45,45,45)' \
      -fill white +opaque black -colorspace Gray -scale "${WIDTH}x1!" -depth 8 txt:- |
      awk -F'[(),: ]+' -v x0="$X" -v min="$(pt 100)" -v gap="$(pt 15)" -v y=$((top + $(pt 30))) '
        NR > 1 {
          x = $1 + x0
          if ($3 >= 26) { if (!n) s = x; n = 1; e = x }
          else if (n && x - e > gap) { if (e - s >= min) print int((s + e) / 2), y; n = 0 }
        }
        END { if (n && e - s >= min) print int((s + e) / 2), y }'
  done
}
cells_shown() {  # cells_shown N: the grid shows N cells, its export button ready
  shot "$WORK/cells.png"
  CELLS=$(cell_centres "$WORK/cells.png")
  [[ $(grep -c . <<< "$CELLS") == "$1" ]] && gallery_export_shown
}
CELLS=""
wait_for 40 "four cells in the gallery" cells_shown 4
save_step gallery-four
read -r CELL_X CELL_Y < <(sed -n 2p <<< "$CELLS")
# The context menu of the second cell (a right press selects it first); its second item deletes.
xdotool mousemove "$CELL_X" "$CELL_Y"
sleep 0.15
xdotool click 3
menu_popped() {
  shot "$WORK/now.png"
  local diff
  diff=$(compare -metric AE -fuzz 5% "$WORK/cells.png" "$WORK/now.png" null: 2>&1 || true)
  ((${diff%% *} > $(pt 60) * $(pt 20)))
}
wait_for 5 "the cell's context menu" menu_popped
save_step gallery-context-menu
xdotool key Down Down Return
if check 10 "three cells left after deleting the second of four" cells_shown 3; then
  ok "deleting the second of four leaves three cells"
fi
save_step gallery-three-left
# Exported into a fresh folder: exactly the three left, the deleted one not among them.
export_gallery "$AFTER_DELETE"
three_left_written() {
  (($(files_in "$AFTER_DELETE") == 3)) && ls "$AFTER_DELETE" | grep -q '^forest creek' &&
    ls "$AFTER_DELETE" | grep -q '^mountain path' && ls "$AFTER_DELETE" | grep -q '^meadow'
}
if check 60 "the three photos left (and no other) exported into $AFTER_DELETE" three_left_written; then
  ok "the export after the delete wrote the three left: $(ls "$AFTER_DELETE" | tr '\n' ' ')"
fi
wait_for 40 "the export after the delete to end with its DONE button" done_shown
if (($(files_in "$AFTER_DELETE") != 3)) || ls "$AFTER_DELETE" | grep -q '^dandelions'; then
  echo "FAIL: the export after the delete wrote: $(ls "$AFTER_DELETE" | tr '\n' ' ')"
  failures=$((failures + 1))
fi
wait_for 20 "the gallery's export button after DONE" done_pressed
# ==== Gallery delete: end ====

# ---- 8. Start Over, and the title menu on the open screen.
# The last export's end view went with its DONE; then the menu's shortcut, to the main window.
wait_for 10 "the gallery's export button after DONE" done_pressed
xdotool windowfocus --sync "$MAIN" 2> /dev/null || xdotool windowfocus "$MAIN"
xdotool key ctrl+n
answered=""
open_screen() {
  # Asked first ("Are you sure...?" with Start Over, its default button, and Cancel): Return.
  if [[ -z "$answered" ]] && dialog_shown; then
    answered=1
    save_step start-over-question
    xdotool windowfocus "$DIALOG" 2> /dev/null || true
    xdotool key Return
  fi
  geometry
  ((WIDTH < $(pt 600)))
}
wait_for 20 "the open screen after Start Over" open_screen
wait_for 5 "no question left" no_dialog
# The open screen fades in: it is read once two looks in a row are alike.
shot "$WORK/open.png"
screen_still() {
  shot "$WORK/now.png"
  local diff
  diff=$(compare -metric AE -fuzz 1% "$WORK/open.png" "$WORK/now.png" null: 2>&1 || true)
  mv "$WORK/now.png" "$WORK/open.png"
  ((${diff%% *} == 0))
}
wait_for 10 "the open screen to settle" screen_still
save_step open-screen
geometry
# The title ("Solvane" and its arrow) is the bright text in the top 60 points of the window's middle.
band_x=$((X + WIDTH / 2 - $(pt 60))) band_y=$Y
title=$(convert "$WORK/open.png" -crop "$(pt 120)x$(pt 60)+$band_x+$band_y" +repage -colorspace Gray -threshold 70% \
  -format '%@' info:)  # the bright pixels' box: WxH+X+Y
[[ "$title" =~ ^([0-9]+)x([0-9]+)\+([0-9]+)\+([0-9]+)$ ]] || fail "no title found on the open screen ($title)"
click $((band_x + BASH_REMATCH[3] + BASH_REMATCH[1] / 2)) $((band_y + BASH_REMATCH[4] + BASH_REMATCH[2] / 2))
menu_shown() {
  [[ -n "$(other_windows)" ]] && return 0
  shot "$WORK/now.png"
  local diff
  diff=$(compare -metric AE -fuzz 5% "$WORK/open.png" "$WORK/now.png" null: 2>&1 || true)
  ((${diff%% *} > $(pt 40) * $(pt 40)))
}
check 5 "the title menu to open on the open screen" menu_shown && ok "the title menu opened on the open screen"
save_step title-menu
xdotool key Escape

# ---- 9. Quit.
xdotool windowfocus --sync "$MAIN" 2> /dev/null || xdotool windowfocus "$MAIN"
xdotool key ctrl+q
wait_for 15 "the program to end after Quit" exited
wait "$solvane" || fail "the program ended with status $?"
solvane=""
ok "quit"
# Nothing the walk made (an export, a copy) landed in the checkout.
strays=$(find "$CHECKOUT" -path "$CHECKOUT/.git" -prune -o -newer "$WORK/started" -type f \
  \( -name 'forest creek*' -o -name 'dandelions*' -o -name 'mountain path*' \) -print)
if [[ -n "$strays" ]]; then
  echo "FAIL: the walk wrote into the checkout: $strays"
  failures=$((failures + 1))
fi
echo "user e2e done in $((SECONDS - START)) s with $failures failed check(s); screenshots in $OUT"
((failures == 0))
