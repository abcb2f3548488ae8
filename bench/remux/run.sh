#!/usr/bin/env bash
# Remux of a 1080p file (300 s, MPEG-4 part 2 at 8 Mbit/s + AAC) into Matroska:
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
input="$work/input-1080p-300s.mp4"
[ -s "$input" ] || STRELLA_FIXTURE_DIR="$work" "$bench" make input-1080p-300s.mp4 >/dev/null

source bench/measure.sh

echo "input: $input ($(stat -c %s "$input") bytes)"
measure engine "$work/out.mkv" "$bench" remux "$input" "$work/out.mkv"
measure ffmpeg "$work/out.mkv" ffmpeg -v error -nostdin -y -i "$input" -c copy "$work/out.mkv"
