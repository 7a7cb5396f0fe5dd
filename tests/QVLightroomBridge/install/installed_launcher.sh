#!/usr/bin/env bash
# The install rule, checked as installed: `cmake --install` puts the launcher and the application's
# manifest in one bin folder, and the installed launcher finds "Solvane" there by its own prefix.
# A fake application takes Solvane's place, so nothing real starts.
#   installed_launcher.sh <build dir> <fake application> <work folder>
set -euo pipefail
build="$1" fake="$2" work="$3"
rm -rf "$work"
mkdir -p "$work"
prefix="$work/prefix"
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR="$work/stage" cmake --install "$build" --component launcher --prefix "$prefix" >/dev/null
stage="$work/stage$prefix"
[[ -x "$stage/bin/SolvaneBriskoBridge" ]] || fail "launcher not installed in bin"
# DESTDIR stages the files; the manifest names where they will finally be.
grep -q "\"executable\": \"$prefix/bin/Solvane\"" "$stage/bin/Solvane.manifest.json" || fail "manifest: $(cat "$stage/bin/Solvane.manifest.json")"
grep -q '"identifier": "com.solvane.brisko"' "$stage/bin/Solvane.manifest.json" || fail "manifest identifier"
grep -q '^NoDisplay=true$' "$stage/share/applications/com.solvane.brisko.desktop" || fail "desktop entry"

cmake --install "$build" --component launcher --prefix "$prefix" >/dev/null
cp "$fake" "$prefix/bin/Solvane"
mkdir -p "$work/data"
export FAKE_APP_RECORD="$work/record" XDG_DATA_HOME="$work/data" XDG_DATA_DIRS="$work/data"
unset SOLVANE_BRISKO_BUNDLE FAKE_APP_GATE DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
touch "$work/photo.jpg"
"$prefix/bin/SolvaneBriskoBridge" -QVWait "$work/photo.jpg" host-argument 2>"$work/stderr" \
  || fail "status $?"
[[ -f "$work/record.ended" ]] || fail "the launcher did not wait for the application"
printf '%s\n' "$work/photo.jpg" host-argument -QVLightroomPluginOwner -QVPluginMode | diff - "$work/record" \
  || fail "arguments"
[[ ! -s "$work/stderr" ]] || fail "stderr: $(cat "$work/stderr")"
echo "installed launcher: ok"
