#!/usr/bin/env bash
# The input's metadata reaches every output format of solvane-render: camera, ISO and date carried,
# the picture upright (orientation 1) at its shown size.
#   render_metadata.sh SOLVANE_RENDER ROVA_INFO PICTURE_WITH_ORIENTATION_6 WORK_DIR
set -u
render="$1" info="$2" picture="$3" work="$4"
rm -rf "$work" && mkdir -p "$work"
export SOLVANE_HOME="$work/home"
failures=0
for ext in jpg png tif webp jp2; do
  out="$work/out.$ext"
  if ! "$render" "$picture" "$out" --size 64 --plain >/dev/null; then
    echo "FAIL render to .$ext"
    failures=$((failures + 1))
    continue
  fi
  report=$("$info" "$out")
  for line in "camera           Canon EOS 5D Mark III" "iso              200" "date             2019:06:01 12:30:00" \
    "orientation      1" "stored size      30 x 40"; do
    if [[ "$report" != *"$line"* ]]; then
      echo "FAIL .$ext lacks \"$line\" in:"
      echo "$report"
      failures=$((failures + 1))
    fi
  done
done
exit $((failures > 0))
