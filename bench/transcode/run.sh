#!/usr/bin/env bash
# Re-encoding of a 1080p clip (30 s, MPEG-4 part 2 at 8 Mbit/s + AAC) into MP4
# at 1200 kbit/s video + 128 kbit/s AAC, once with mpeg4 and once with libx264
# (its default preset, medium): the engine against the ffmpeg program with the
# same codecs, bit rates and automatic threads; whole-process wall time and peak memory.
# Usage: bench/transcode/run.sh [build dir] [runs] [baseline build dir]
# A baseline build (an earlier commit's, built the same way) is measured beside,
# run for run, to show what a change to the engine costs.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
runs=${2:-1}
baseline=${3:-}
cmake --build "$build" --target strella_transcode_bench -j2 >/dev/null
bench="$build/bin/strella_transcode_bench"
work="$build/bench-transcode"
mkdir -p "$work"
input="$work/input-1080p-30s.mp4"
[ -s "$input" ] || STRELLA_FIXTURE_DIR="$work" "$bench" make input-1080p-30s.mp4 >/dev/null

source bench/measure.sh

audio=(-c:a aac -b:a 128k -ar 44100 -ac 2)
echo "input: $input ($(stat -c %s "$input") bytes), $(nproc) cores"
measure engine-mpeg4 "$work/out.mp4" "$bench" mpeg4 "$input" "$work/out.mp4"
[ -z "$baseline" ] || measure baseline-mpeg4 "$work/out.mp4" "$baseline/bin/strella_transcode_bench" mpeg4 "$input" "$work/out.mp4"
measure ffmpeg-mpeg4 "$work/out.mp4" ffmpeg -v error -nostdin -y -i "$input" -c:v mpeg4 -b:v 1200k "${audio[@]}" "$work/out.mp4"
measure engine-x264 "$work/out.mp4" "$bench" x264 "$input" "$work/out.mp4"
[ -z "$baseline" ] || measure baseline-x264 "$work/out.mp4" "$baseline/bin/strella_transcode_bench" x264 "$input" "$work/out.mp4"
measure ffmpeg-x264 "$work/out.mp4" ffmpeg -v error -nostdin -y -i "$input" -c:v libx264 -preset medium -b:v 1200k "${audio[@]}" \
  "$work/out.mp4"
