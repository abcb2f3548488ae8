#!/usr/bin/env bash
# Whole-process wall time of probing one file: strella_probe_bench beside the
# ffprobe program, each started RUNS times; then our probe repeated in one
# process. Build first (scripts/build.sh).
# Usage: bench/probe/run.sh [FILE] [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${STRELLA_BUILD_DIR:-$root/build}
bench=$build/bin/strella_probe_bench
file=${1:-}
runs=${2:-100}

if [ ! -x "$bench" ]; then
  echo "build $bench first (scripts/build.sh)" >&2
  exit 1
fi
if [ -z "$file" ]; then
  # A 2-second MPEG-4 + AAC clip like the tests' clip.mp4.
  file=$(mktemp --suffix=.mp4)
  trap 'rm -f "$file"' EXIT
  ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=320x240:rate=25 -f lavfi -i sine=frequency=440 \
    -t 2 -c:v mpeg4 -b:v 400k -c:a aac -b:a 128k "$file"
fi

# Mean wall time per process in microseconds.
mean_us() {
  local start end
  start=$(date +%s%N)
  for ((i = 0; i < runs; i++)); do "$@" >/dev/null 2>&1; done
  end=$(date +%s%N)
  echo $(((end - start) / runs / 1000))
}

echo "file: $file ($(stat -c %s "$file") bytes), $runs runs each"
"$bench" "$file"
ffprobe -v error -show_entries format=duration:stream=codec_type,width,height -of compact "$file"
ours=$(mean_us "$bench" "$file")
theirs=$(mean_us ffprobe -v error -show_entries format=duration:stream=codec_type,width,height "$file")
echo "strella_probe_bench: ${ours} us per process"
echo "ffprobe:             ${theirs} us per process"
"$bench" --repeat 1000 "$file" | tail -1
