#!/usr/bin/env bash
# strella-cli against the ffmpeg program on the same batch job: a 60 s 720p
# clip (MPEG-4 part 2 + AAC) into the profile "MP4 - MPEG4 Video (*.mp4)" with
# its preselections (mpeg4 at 1500 kbit/s, original size, 25 fps, AAC 128 kbit/s
# at 48000 Hz stereo), and the same settings given to ffmpeg by hand.
# Whole-process wall time, peak memory and output size per run.
# Usage: bench/cli/run.sh [build dir] [runs]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
runs=${2:-3}
cmake --build "$build" --target strella-cli -j2 >/dev/null
cli="$(pwd)/$build/bin/strella-cli"
work="$(pwd)/$build/bench-cli"
mkdir -p "$work/strella" "$work/ffmpeg"
input="$work/input-720p.mp4"
[ -s "$input" ] || ffmpeg -v error -nostdin -y -f lavfi -i testsrc2=size=1280x720:rate=25:duration=60 \
  -f lavfi -i sine=frequency=440:sample_rate=44100:duration=60 -ac 2 \
  -c:v mpeg4 -b:v 4M -c:a aac -b:a 160k "$input"

measure() {  # label, output file, command...
  local label=$1 output=$2; shift 2
  for i in $(seq "$runs"); do
    rm -f "$output"
    /usr/bin/time -v "$@" 2>"$work/time.txt" >/dev/null || { echo "$label run $i failed"; cat "$work/time.txt"; }
    local wall rss
    wall=$(grep 'Elapsed (wall clock)' "$work/time.txt" | awk '{print $NF}')
    rss=$(grep 'Maximum resident set size' "$work/time.txt" | awk '{print $NF}')
    printf '%-8s run %d  wall %8s  peak RSS %7d kB  output %d bytes\n' "$label" "$i" "$wall" "$rss" \
      "$(stat -c %s "$output" 2>/dev/null || echo 0)"
  done
}

echo "input: $input ($(stat -c %s "$input") bytes)"
measure strella "$work/strella/input-720p.mp4" "$cli" --overwrite -p 8 -o "$work/strella" "$input"
measure ffmpeg "$work/ffmpeg/input-720p.mp4" ffmpeg -v error -nostdin -y -i "$input" \
  -c:v mpeg4 -b:v 1500k -r 25 -aspect 1.7777 -c:a aac -b:a 128k -ar 48000 -ac 2 "$work/ffmpeg/input-720p.mp4"
ffprobe -v error -show_entries stream=codec_name,width,height,bit_rate,sample_rate,channels \
  -of compact "$work/strella/input-720p.mp4" || true
