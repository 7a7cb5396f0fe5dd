#!/usr/bin/env bash
# Hostile but ordinary uses of the command-line tools, one table: each must end with its reason,
# write nothing, leave no temporary file, and never touch a file beside the target.
#   render_faults.sh SOLVANE_RENDER ROVA_INFO PICTURE WORK_DIR
set -u
render="$1" info="$2" picture="$3" work="$4"
rm -rf "$work" && mkdir -p "$work/out" "$work/locked" "$work/folder.jpg"
export SOLVANE_HOME="$work/home"
cp "$picture" "$work/in.jpg"
mkfifo "$work/pipe.jpg" "$work/pipe.slvnr"
echo "precious" >"$work/victim"
ln -s "$work/victim" "$work/out/result.jpg.partial"
chmod 0500 "$work/locked"
truncate -s 3G "$work/huge.jpg" && head -c 2000 "$picture" | dd of="$work/huge.jpg" conv=notrunc status=none

failures=0
# expect NAME REASON COMMAND...: the command fails and its error output holds REASON.
expect() {
  local name="$1" reason="$2"
  shift 2
  local err
  err=$(timeout 60 "$@" 2>&1 >/dev/null)
  local rc=$?
  if [[ $rc -eq 0 || $rc -eq 124 || "$err" != *"$reason"* ]]; then
    echo "FAIL $name (exit $rc): expected \"$reason\" in: $err"
    failures=$((failures + 1))
  else
    echo "ok   $name: $err"
  fi
}
expect "unknown output extension" "no writer for that extension" "$render" "$work/in.jpg" "$work/out/result.gif"
expect "missing output folder" "does not exist" "$render" "$work/in.jpg" "$work/nowhere/result.jpg"
expect "output is a folder" "a folder has that name" "$render" "$work/in.jpg" "$work/folder.jpg"
if [[ $(id -u) -ne 0 ]]; then
  expect "unwritable output folder" "not writable" "$render" "$work/in.jpg" "$work/locked/result.jpg"
fi
expect "input is a FIFO" "not a regular file" "$render" "$work/pipe.jpg" "$work/out/result.jpg"
expect "input is a folder" "a folder, not a file" "$render" "$work/folder.jpg" "$work/out/result.jpg"
expect "input is a huge sparse file" "larger" "$render" "$work/huge.jpg" "$work/out/result.jpg"
expect "preset is a FIFO" "not a regular file" "$render" "$work/in.jpg" "$work/out/result.jpg" --preset "$work/pipe.slvnr"
expect "preview under another format's name" "the preview is a PNG" "$info" "$work/in.jpg" --preview "$work/out/p.jpg"

# Nothing was written, the planted link's target is whole, and a good run still works beside it.
leftover=$(find "$work/out" -mindepth 1 ! -name result.jpg.partial | wc -l)
[[ $leftover -eq 0 ]] || { echo "FAIL files left in the output folder:"; ls -la "$work/out"; failures=$((failures + 1)); }
if ! "$render" "$work/in.jpg" "$work/out/result.jpg" --size 64 --plain >/dev/null; then
  echo "FAIL a plain render beside the planted link"
  failures=$((failures + 1))
fi
[[ "$(cat "$work/victim")" == "precious" ]] || { echo "FAIL the link's target was written"; failures=$((failures + 1)); }
[[ $(find "$work/out" -mindepth 1 | wc -l) -eq 2 ]] || { echo "FAIL temporary files left:"; ls -la "$work/out"; failures=$((failures + 1)); }
chmod 0700 "$work/locked"
exit $((failures > 0))
