#!/usr/bin/env bash
# bench/session/run.sh [build dir] [rows]: how long the window takes to start
# with a kept file list of ROWS rows (default 100000) beside an empty one.
# Each start saves a screenshot after 3 s and ends, so the difference between
# the two lines is what restoring the list costs (wall and peak memory).
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
rows=${2:-100000}
[ -x "$build/bin/strella" ] || scripts/build.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
state="$work/state/Quorvex/Strella Video Converter"
mkdir -p "$state"
# The rows a long session leaves: finished conversions with their notes.
{
  printf '{"version": 1, "rows": ['
  for ((i = 0; i < rows; ++i)); do
    ((i)) && printf ','
    printf '{"file":"/media/videos/holiday %06d.mp4","checked":true,"columns":["1920x1080","00:02:13","MP4","","Done","3325"],"output":"/media/out/holiday %06d.mp4","message":"","notes":[],"converting":false}' "$i" "$i"
  done
  printf ']}\n'
} > "$work/list.json"

start() {  # $1: label
  /usr/bin/time -f "$1: %e s wall, %M KB peak" env QT_QPA_PLATFORM=offscreen XDG_STATE_HOME="$work/state" \
    XDG_CONFIG_HOME="$work/config" "$build/bin/strella" --screenshot "$work/shot.png" >/dev/null 2>"$work/err" ||
    { cat "$work/err"; exit 1; }
  tail -1 "$work/err"
}
rm -f "$state/file-list.json"
start "empty list"
cp "$work/list.json" "$state/file-list.json"
start "$rows rows"
