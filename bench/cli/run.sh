#!/usr/bin/env bash
# strella-cli against the ffmpeg program on the same batch jobs, both into the
# profile "MP4 - MPEG4 Video (*.mp4)" with its preselections (mpeg4 at
# 1500 kbit/s, original size, 25 fps, AAC 128 kbit/s at 48000 Hz stereo) and the
# same settings given to ffmpeg by hand:
#   single: one 60 s 720p clip (MPEG-4 part 2 + AAC); wall time, peak memory and
#           output size per run;
#   batch:  ten 10 s 720p clips in one strella-cli batch against ffmpeg run ten
#           times in a row; wall and CPU time of each side and their ratios
#           (target: wall ratio at most 1.05; on a loaded machine the CPU ratio
#           is the steadier figure).
# Usage: bench/cli/run.sh [build dir] [runs] [single|batch|all]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
runs=${2:-3}
mode=${3:-all}
cmake --build "$build" --target strella-cli -j2 >/dev/null
cli="$(pwd)/$build/bin/strella-cli"
work="$(pwd)/$build/bench-cli"
mkdir -p "$work/strella" "$work/ffmpeg"

make_clip() {  # output file, seconds
  [ -s "$1" ] || ffmpeg -v error -nostdin -y -f lavfi -i "testsrc2=size=1280x720:rate=25:duration=$2" \
    -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=$2" -ac 2 \
    -c:v mpeg4 -b:v 4M -c:a aac -b:a 160k "$1"
}

# The profile's settings for the ffmpeg program.
ffmpeg_settings=(-c:v mpeg4 -b:v 1500k -r 25 -aspect 1.7777 -c:a aac -b:a 128k -ar 48000 -ac 2)
ffmpeg_job() {  # input file, output file
  ffmpeg -v error -nostdin -y -i "$1" "${ffmpeg_settings[@]}" "$2"
}

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

single() {
  local input="$work/input-720p.mp4"
  make_clip "$input" 60
  echo "single: $input ($(stat -c %s "$input") bytes)"
  measure strella "$work/strella/input-720p.mp4" "$cli" --overwrite -p 8 -o "$work/strella" "$input"
  measure ffmpeg "$work/ffmpeg/input-720p.mp4" ffmpeg -v error -nostdin -y -i "$input" "${ffmpeg_settings[@]}" \
    "$work/ffmpeg/input-720p.mp4"
  ffprobe -v error -show_entries stream=codec_name,width,height,bit_rate,sample_rate,channels \
    -of compact "$work/strella/input-720p.mp4" || true
}

# Wall and CPU (user + system) seconds of a command: "wall cpu".
timed() {
  /usr/bin/time -f '%e %U %S' -o "$work/batch-time.txt" "$@" >"$work/batch-$label.log" 2>&1 \
    || { echo "$label batch failed" >&2; tail -20 "$work/batch-$label.log" >&2; }
  awk '{ print $1, $2 + $3 }' "$work/batch-time.txt"
}

batch() {
  local clips=() out_s="$work/batch-strella" out_f="$work/batch-ffmpeg"
  mkdir -p "$work/batch-input"
  for n in $(seq -w 1 10); do
    clips+=("$work/batch-input/clip$n.mp4")
    make_clip "$work/batch-input/clip$n.mp4" 10
  done
  echo "batch: ten 10 s 720p clips ($(du -cb "${clips[@]}" | tail -1 | cut -f1) bytes)"
  local s f label
  for i in $(seq "$runs"); do
    rm -rf "$out_s" "$out_f"
    mkdir -p "$out_s" "$out_f"
    # Alternate which side goes first, so a change of load on the shared machine hits both alike.
    for side in $( ((i % 2)) && echo "strella ffmpeg" || echo "ffmpeg strella"); do
      label=$side
      if [ "$side" = strella ]; then
        s=$(timed "$cli" -p 8 -o "$out_s" "${clips[@]}")
      else
        f=$(timed bash -c 'out=$1; shift; for clip; do
            ffmpeg -v error -nostdin -y -i "$clip" '"${ffmpeg_settings[*]}"' "$out/$(basename "$clip")"; done' \
          _ "$out_f" "${clips[@]}")
      fi
    done
    awk -v s="$s" -v f="$f" -v i="$i" -v bs="$(du -cb "$out_s"/*.mp4 | tail -1 | cut -f1)" \
      -v bf="$(du -cb "$out_f"/*.mp4 | tail -1 | cut -f1)" 'BEGIN {
        split(s, a, " "); split(f, b, " ");
        printf "batch run %d  wall: strella-cli %6.2f s, ffmpeg x10 %6.2f s, ratio %.3f   cpu: %6.2f s, %6.2f s, ratio %.3f   outputs %d / %d bytes\n",
               i, a[1], b[1], a[1] / b[1], a[2], b[2], a[2] / b[2], bs, bf }'
  done
}

case $mode in
  single) single ;;
  batch) batch ;;
  all) single; batch ;;
  *) echo "unknown mode $mode (single, batch or all)"; exit 2 ;;
esac
