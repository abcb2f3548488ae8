#!/usr/bin/env bash
# Remux of a 1080p file (60 s, MPEG-4 part 2 at 8 Mbit/s + AAC) into Matroska:
# the engine against `ffmpeg -c copy`, whole-process wall time and peak memory.
# Usage: bench/remux/run.sh [build dir] [runs]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
runs=${2:-3}
cmake --build "$build" --target strella_remux_bench -j2 >/dev/null
bench="$build/bin/strella_remux_bench"
work="$build/bench-remux"
mkdir -p "$work"
input="$work/input-1080p.mp4"
[ -s "$input" ] || STRELLA_FIXTURE_DIR="$work" "$bench" make input-1080p.mp4 >/dev/null

measure() {  # label, command...
  local label=$1; shift
  for i in $(seq "$runs"); do
    rm -f "$work/out.mkv"
    /usr/bin/time -v "$@" 2>"$work/time.txt" >/dev/null
    local wall rss
    wall=$(grep 'Elapsed (wall clock)' "$work/time.txt" | awk '{print $NF}')
    rss=$(grep 'Maximum resident set size' "$work/time.txt" | awk '{print $NF}')
    printf '%-8s run %d  wall %8s  peak RSS %7d kB  output %d bytes\n' "$label" "$i" "$wall" "$rss" "$(stat -c %s "$work/out.mkv")"
  done
}

echo "input: $input ($(stat -c %s "$input") bytes)"
measure engine "$bench" remux "$input" "$work/out.mkv"
measure ffmpeg ffmpeg -v error -nostdin -y -i "$input" -c copy "$work/out.mkv"
