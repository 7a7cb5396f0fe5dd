# A private X screen for the scripts that drive the real program (user-e2e.sh, frame-grabs.sh);
# sourced, not run. The caller sets WORK (a private folder, removed at exit) and OUT (where the
# server's and the window manager's logs go), then calls start_screen.
xvfb="" wm="" solvane=""
UP=()  # prefix for what must keep up on a loaded machine (see start_screen's third argument)
screen_cleanup() {
  [[ -n "$solvane" ]] && kill "$solvane" 2> /dev/null || true
  [[ -n "$wm" ]] && kill "$wm" 2> /dev/null || true
  [[ -n "$xvfb" ]] && kill "$xvfb" 2> /dev/null || true
  rm -rf "$WORK"
}
trap screen_cleanup EXIT

wm_named() { xprop -root _NET_SUPPORTING_WM_CHECK 2> /dev/null | grep -q 'window id'; }

# start_screen SCALE [openbox] [ahead]: Xvfb at 1600 x 1000 (scale 1) or 2560 x 1440 (scale 2) on a
# free display (the server picks it and tells it on a descriptor), with openbox managing it when
# asked; "ahead" runs the server and the manager (and, through UP, what the caller starts with it)
# before the rest of a loaded machine where that is allowed. Exports DISPLAY, the program's private
# SOLVANE_HOME and TMPDIR, and QT_SCALE_FACTOR.
start_screen() {
  local scale=$1 manager=${2:-} screen
  if [[ "${3:-}" == ahead ]] && nice -n -10 true 2> /dev/null; then UP=(nice -n -10); fi
  if [[ "$scale" == 2 ]]; then screen=2560x1440; else screen=1600x1000; fi
  exec 3> "$WORK/display"
  "${UP[@]}" Xvfb -displayfd 3 -screen 0 "${screen}x24" -nolisten tcp > "$OUT/xvfb.log" 2>&1 &
  xvfb=$!
  exec 3>&-
  for _ in $(seq 100); do [[ -s "$WORK/display" ]] && break; sleep 0.1; done
  [[ -s "$WORK/display" ]] || { echo "FAIL: Xvfb did not start"; exit 1; }
  export DISPLAY=":$(head -1 "$WORK/display")"
  export SOLVANE_HOME="$WORK/home" TMPDIR="$WORK/tmp" QT_SCALE_FACTOR="$scale"
  mkdir -p "$SOLVANE_HOME" "$TMPDIR"
  [[ "$manager" == openbox ]] || return 0
  # The server answers before anything connects: a window manager started too early could not open
  # the display, and the run went on on the bare server while claiming one.
  for _ in $(seq 100); do xprop -root > /dev/null 2>&1 && break; sleep 0.1; done
  # The manager manages the screen once it names itself on the root window (the standard's way of
  # telling a manager runs); only then may the program's windows map.
  local try
  for try in 1 2 3; do
    HOME="$WORK/wm-home" XDG_CONFIG_HOME="$WORK/wm-home" "${UP[@]}" openbox --sm-disable >> "$OUT/openbox.log" 2>&1 &
    wm=$!
    for _ in $(seq 300); do wm_named && break; kill -0 "$wm" 2> /dev/null || break; sleep 0.1; done
    wm_named && return 0
    kill "$wm" 2> /dev/null || true
    wm=""
  done
  echo "FAIL: openbox did not take the screen"
  cat "$OUT/openbox.log"
  exit 1
}
