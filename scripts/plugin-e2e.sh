#!/usr/bin/env bash
# A plug-in run end to end, as a host starts it, on a private session bus under Xvfb:
#   Solvane <photo> -QVImagePath <photo> -QVSavePath <other folder>/<name>.tif -QVLightroomPluginOwner -QVPluginMode
# with the test hook pressing DONE after a few seconds. Checks that a TIFF is written at the save path
# and the host's photo left as it was, that the bus carried "app_result_saved" and "app_termination_ok"
# and that the process ended with status 0; with ImageMagick's `identify`, that the result read without
# colour management is as bright as the photo's enhanced rendering (solvane-render, sRGB) within 3 %.
# Writes the plug-in screen's screenshot.
# Then three host photos written in place: the gallery's DONE, the three files and the bus.
# Then a read-only photo and one whose name is Latin-1 (not UTF-8): the read-only one is refused and
# kept, the other written, and the bus carries its name's exact bytes. Then a run cancelled by
# closing the window. Every run's end messages are checked in order: the per-result messages first,
# then "app_termination_failed" or "app_termination_cancel" when the run failed or was cancelled,
# and "app_termination_ok" last of all (the host's "the program ends").
#   scripts/plugin-e2e.sh [build-dir] [output-dir]
#   SOLVANE_E2E_LAUNCHER=1 also runs it through the installed launcher (SolvaneBriskoBridge -QVWait).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD="$(cd "${1:-build}" && pwd)"
OUT="${2:-$BUILD/plugin-e2e}"
for tool in dbus-run-session dbus-monitor xvfb-run; do
  if ! command -v "$tool" > /dev/null; then
    echo "SKIP: $tool is missing (scripts/deps.sh installs it)"
    exit 77
  fi
done
mkdir -p "$OUT"
OUT="$(cd "$OUT" && pwd)"
HOME_DIR="$(mktemp -d)"
running=""
cleanup() {
  if [[ -n "$running" ]]; then kill -- -"$running" 2>/dev/null || true; fi
  rm -rf "$HOME_DIR"
}
trap cleanup EXIT
# A photo large enough to open (800 x 600 at least).
PHOTO="$HOME_DIR/host photo.jpg"
cp Ombrel/Resources/Samples/forest-creek.jpg "$PHOTO"
# The host expects the result in a folder of its own, under a ".tif" name: a TIFF exactly there.
mkdir -p "$HOME_DIR/host results"
SAVE="$HOME_DIR/host results/host photo.tif"
rm -f "$OUT/result.tiff" "$OUT/bus.log" "$OUT/solvane.log"

run_on_bus() {
  # $@: the command that starts Solvane.
  dbus-run-session -- bash -c '
    dbus-monitor --session "type=signal,interface=app.solvane.Solvane.Plugin" > "$0/bus.log" 2>&1 &
    monitor=$!
    sleep 0.5
    start=$(date +%s.%N)
    # A run that does not end is a failure, not a hang.
    timeout 60 "${@}" > "$0/solvane.log" 2>&1 || echo "exit status $?" >> "$0/solvane.log"
    end=$(date +%s.%N)
    sleep 0.3
    kill $monitor 2>/dev/null || true
    echo "ran $(awk "BEGIN{printf \"%.2f\", $end - $start}") s" >> "$0/solvane.log"
  ' "$OUT" "$@"
}

# The plug-in's messages on the bus, in order, one line each ("app_result_saved" ...).
members() { sed -n 's/.*interface=app\.solvane\.Solvane\.Plugin; member=\([a-z_]*\).*/\1/p' "$OUT/bus.log"; }
# Checks the end of a run: $1 the run's name, $2 the ending messages expected in order, space-separated.
check_endings() {
  local all endings
  all="$(members | tr '\n' ' ' | sed 's/ $//')"
  endings="$(members | grep '^app_termination_' | tr '\n' ' ' | sed 's/ $//')"
  if [[ "$endings" != "$2" ]]; then
    echo "FAIL: $1: the run ended with \"$endings\", not \"$2\" (all: $all)"; status=1
  elif [[ "$all" =~ app_termination_.*app_result_ ]]; then
    echo "FAIL: $1: a result was posted after the end (all: $all)"; status=1
  else
    echo "ok: $1: the bus carried \"$all\" (the end last)"
  fi
}
# Checks the exit status the program printed: $1 the run's name, $2 the status expected.
check_exit() {
  if grep -q "^plug-in: exit status $2\$" "$OUT/solvane.log"; then
    echo "ok: $1: the run ended with status $2"
  else
    echo "FAIL: $1: the run did not end with status $2"; status=1
  fi
}
# The bus log's bytes as hex words on one line, and a path's bytes the same way: a byte array of
# the path appears as that sequence.
bus_hex() { tr -s ' \n' '  ' < "$OUT/bus.log"; }
hex_of() { printf '%s' "$1" | od -An -tx1 -v | tr -s ' \n' '  ' | sed 's/^ //; s/ $//'; }

# A Solvane already running must neither take the plug-in run's photo nor give it its own.
# Its own process group, so that it ends with everything xvfb-run started.
setsid xvfb-run -a -s "-screen 0 1600x1000x24" env SOLVANE_HOME="$HOME_DIR" "$BUILD/Ombrel/Solvane" \
  > "$OUT/running.log" 2>&1 &
running=$!
sleep 3

run_on_bus xvfb-run -a -s "-screen 0 2560x1440x24" env SOLVANE_HOME="$HOME_DIR" QT_SCALE_FACTOR=2 \
  "$BUILD/Ombrel/Solvane" "$PHOTO" -QVImagePath "$PHOTO" -QVSavePath "$SAVE" \
  --screenshot "$OUT/plugin-screen.png" --plugin-press-done-after 6 -QVLightroomPluginOwner -QVPluginMode

status=0
grep -E "plug-in:|wrote|ran |already running" "$OUT/solvane.log" || true
if grep -q "already running" "$OUT/solvane.log"; then echo "FAIL: the plug-in run handed over"; status=1; fi
kill -- -"$running" 2>/dev/null || true
wait "$running" 2>/dev/null || true
running=""
if [[ -s "$SAVE" ]] && [[ "$(head -c 2 "$SAVE")" == "II" || "$(head -c 2 "$SAVE")" == "MM" ]]; then
  echo "ok: $SAVE is a TIFF ($(stat -c %s "$SAVE") bytes; copied to $OUT/result.tiff)"
  cp "$SAVE" "$OUT/result.tiff"
else
  echo "FAIL: no TIFF at $SAVE"; status=1
fi
if cmp -s Ombrel/Resources/Samples/forest-creek.jpg "$PHOTO"; then
  echo "ok: the host's photo is as it was"
else
  echo "FAIL: the host's photo was changed"; status=1
fi
if grep -q 'member=app_result_saved' "$OUT/bus.log"; then
  echo "ok: the bus carried app_result_saved"
else
  echo "FAIL: no app_result_saved on the bus"; status=1
fi
check_endings "one photo" "app_termination_ok"
# Display-referred: read as plain samples (no colour management), the result is as bright as the
# photo's enhanced rendering in sRGB.
if command -v identify > /dev/null && [[ -x "$BUILD/tools/solvane-render" && -s "$SAVE" ]]; then
  "$BUILD/tools/solvane-render" "$PHOTO" "$OUT/reference.png" > /dev/null 2>&1 || true
  mean() { identify -format '%[fx:mean]' "$1" 2> /dev/null; }
  result_mean="$(mean "$SAVE")"
  reference_mean="$(mean "$OUT/reference.png")"
  if [[ -z "$result_mean" || -z "$reference_mean" ]]; then
    echo "FAIL: cannot measure the brightness of the result or the reference"; status=1
  elif awk -v a="$result_mean" -v b="$reference_mean" 'BEGIN { d = a / b - 1; exit !(d < 0.03 && d > -0.03) }'; then
    echo "ok: mean brightness $result_mean, the enhanced rendering's $reference_mean (within 3 %)"
  else
    echo "FAIL: mean brightness $result_mean, the enhanced rendering's $reference_mean (more than 3 % apart)"
    status=1
  fi
else
  echo "note: brightness not compared (no identify or no solvane-render)"
fi
if grep -q '^exit status' "$OUT/solvane.log"; then
  echo "FAIL: Solvane ended with $(grep '^exit status' "$OUT/solvane.log" | head -1)"; status=1
fi
# How soon the run ends after DONE is printed, not judged: speed belongs to the benchmarks, and a
# loaded machine must not fail the walk.
ended_ms="$(sed -n 's/^plug-in: the run ended \([0-9]*\) ms after DONE$/\1/p' "$OUT/solvane.log")"
if [[ -z "$ended_ms" ]]; then
  echo "FAIL: DONE was not pressed, or the run did not end"; status=1
else
  echo "ok: the run ended ${ended_ms} ms after DONE"
fi

# Three host photos, each written in place: the gallery shows the plug-in panel and its DONE hands
# all three back.
for name in a b c; do cp Ombrel/Resources/Samples/forest-creek.jpg "$HOME_DIR/host $name.jpg"; done
pairs=()
for name in a b c; do pairs+=(-QVSavePair "$HOME_DIR/host $name.jpg" "$HOME_DIR/host $name.jpg"); done
before="$(md5sum < Ombrel/Resources/Samples/forest-creek.jpg)"
run_on_bus xvfb-run -a -s "-screen 0 2560x1440x24" env SOLVANE_HOME="$HOME_DIR" QT_SCALE_FACTOR=2 \
  "$BUILD/Ombrel/Solvane" "${pairs[@]}" --screenshot "$OUT/plugin-gallery.png" --plugin-press-done-after 6 \
  -QVLightroomPluginOwner -QVPluginMode
grep -E "plug-in:|ran " "$OUT/solvane.log" || true
for name in a b c; do
  photo="$HOME_DIR/host $name.jpg"
  if [[ "$(head -c 2 "$photo" | od -An -tx1 | tr -d ' ')" == "ffd8" && "$(md5sum < "$photo")" != "$before" ]]; then
    echo "ok: host $name.jpg written in place"
  else
    echo "FAIL: host $name.jpg not written in place"; status=1
  fi
done
check_endings "three photos" "app_termination_ok"
if grep -q '^exit status' "$OUT/solvane.log"; then echo "FAIL: three photos: $(grep '^exit status' "$OUT/solvane.log")"; status=1; fi

# A read-only photo to be edited in place is refused and kept; a photo whose name is Latin-1 is
# written, and the host hears the name's exact bytes. The run fails (status 1) and still ends with
# app_termination_ok after the failure.
READ_ONLY="$HOME_DIR/read-only.jpg"
LATIN1="$HOME_DIR/caf$(printf '\xe9').jpg"
LATIN1_OUT="$HOME_DIR/caf$(printf '\xe9')-out.jpg"
cp Ombrel/Resources/Samples/forest-creek.jpg "$READ_ONLY"
chmod 0444 "$READ_ONLY"
cp Ombrel/Resources/Samples/forest-creek.jpg "$LATIN1"
run_on_bus xvfb-run -a -s "-screen 0 2560x1440x24" env SOLVANE_HOME="$HOME_DIR" QT_SCALE_FACTOR=2 \
  "$BUILD/Ombrel/Solvane" -QVSavePair "$READ_ONLY" "$READ_ONLY" -QVSavePair "$LATIN1" "$LATIN1_OUT" \
  --plugin-press-done-after 6 -QVLightroomPluginOwner -QVPluginMode
grep -E "plug-in:|ran " "$OUT/solvane.log" || true
if cmp -s Ombrel/Resources/Samples/forest-creek.jpg "$READ_ONLY" && [[ "$(stat -c %a "$READ_ONLY")" == 444 ]]; then
  echo "ok: the read-only photo is as it was"
else
  echo "FAIL: the read-only photo was changed"; status=1
fi
if [[ "$(head -c 2 "$LATIN1_OUT" 2>/dev/null | od -An -tx1 | tr -d ' ')" == "ffd8" ]]; then
  echo "ok: the Latin-1 photo's result is a JPEG at its exact name"
else
  echo "FAIL: no JPEG at the Latin-1 save path"; status=1
fi
if [[ "$(bus_hex)" == *"$(hex_of "$LATIN1_OUT")"* ]]; then
  echo "ok: the bus carried the Latin-1 result's name byte for byte"
else
  echo "FAIL: the Latin-1 result's exact name is not on the bus"; status=1
fi
if grep -q 'member=app_result_failed' "$OUT/bus.log" && grep -q 'read-only' "$OUT/bus.log"; then
  echo "ok: the host heard why the read-only photo has no result"
else
  echo "FAIL: no app_result_failed naming the read-only file"; status=1
fi
check_endings "a read-only photo" "app_termination_failed app_termination_ok"
check_exit "a read-only photo" 1

# Cancelled: the window closed while the photo is shown.
cp Ombrel/Resources/Samples/forest-creek.jpg "$PHOTO"
run_on_bus xvfb-run -a -s "-screen 0 2560x1440x24" env SOLVANE_HOME="$HOME_DIR" QT_SCALE_FACTOR=2 \
  "$BUILD/Ombrel/Solvane" "$PHOTO" --plugin-close-after 6 -QVLightroomPluginOwner -QVPluginMode
grep -E "plug-in:|ran " "$OUT/solvane.log" || true
if cmp -s Ombrel/Resources/Samples/forest-creek.jpg "$PHOTO"; then
  echo "ok: cancelled: the host's photo is as it was"
else
  echo "FAIL: cancelled: the host's photo was changed"; status=1
fi
check_endings "cancelled" "app_termination_cancel app_termination_ok"
check_exit "cancelled" 0

if [[ "${SOLVANE_E2E_LAUNCHER:-}" == "1" ]]; then
  # The same through the installed launcher, as a host's plug-in runs it (it waits for Solvane).
  PREFIX="$HOME_DIR/prefix"
  cmake --install "$BUILD" --prefix "$PREFIX" > /dev/null
  rm -f "$SAVE"
  run_on_bus env SOLVANE_BRISKO_BUNDLE="$PREFIX/bin" xvfb-run -a -s "-screen 0 2560x1440x24" env \
    SOLVANE_HOME="$HOME_DIR" QT_SCALE_FACTOR=2 "$PREFIX/bin/SolvaneBriskoBridge" -QVWait "$PHOTO" \
    -QVImagePath "$PHOTO" -QVSavePath "$SAVE" --plugin-press-done-after 6
  grep -E "ran |Error" "$OUT/solvane.log" || true
  if [[ -s "$SAVE" ]]; then
    echo "ok: through the launcher: $SAVE written"
  else
    echo "FAIL: through the launcher: nothing at $SAVE"; status=1
  fi
  check_endings "through the launcher" "app_termination_ok"
fi
exit $status
