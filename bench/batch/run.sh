#!/usr/bin/env bash
# Batches through strella-cli with one and with two conversions at a time
# (-j1, -j2), each with and without --no-verify, against the ffmpeg program run file by file, and two at a time
# (xargs -P2), with the profile's settings given to ffmpeg by hand:
#   mp3:    twenty 10 s WAV tones to "MP3 - Mpeg Layer3 Audio" (libmp3lame 192 kbit/s, 48000 Hz stereo);
#   wmv:    ten 10 s 720p clips to "WMV - Windows Media Video" (wmv2 1500 kbit/s + wmav2 128 kbit/s,
#           48000 Hz stereo; both encoders single-threaded);
#   h264:   the same ten clips to "MP4 - H.264 + AAC" (libx264 CRF 23 medium + AAC 160 kbit/s,
#           48000 Hz stereo, fast start; the video encoder uses every core);
#   short:  a hundred 1 s WAV tones to MP3, and one of them alone (start-up and the time between jobs).
# Wall time and peak memory of the largest single process (ffmpeg's figure is
# one of its processes; two at a time hold twice that). Each batch starts in
# an empty output folder.
# Usage: bench/batch/run.sh [build dir] [runs] [mp3|wmv|h264|short|all]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
runs=${2:-1}
mode=${3:-all}
cmake --build "$build" --target strella-cli -j2 >/dev/null
cli="$(pwd)/$build/bin/strella-cli"
work="$(pwd)/$build/bench-batch"
mkdir -p "$work"

source bench/measure.sh

tone() {  # output file, seconds, frequency
  [ -s "$1" ] || ffmpeg -v error -nostdin -y -f lavfi -i "sine=frequency=$3:sample_rate=44100:duration=$2" -ac 2 "$1"
}
clip() {  # output file, seconds
  [ -s "$1" ] || ffmpeg -v error -nostdin -y -f lavfi -i "testsrc2=size=1280x720:rate=25:duration=$2" \
    -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=$2" -ac 2 \
    -c:v mpeg4 -b:v 4M -c:a aac -b:a 160k "$1"
}

# One batch five ways. Arguments: name, profile, output extension, ffmpeg settings (one word list), inputs...
compare() {
  local name=$1 profile=$2 ext=$3 settings=$4; shift 4
  local out="$work/out-$name" last
  last="$out/$(basename "${@: -1}" | sed 's/\.[^.]*$//').$ext"
  echo "$name: $# files, $(du -cb "$@" | tail -1 | cut -f1) bytes, $(nproc) cores"
  # Every output is read back and decoded before it takes its name; --no-verify shows what that costs.
  for jobs in 1 2; do
    for verify in "" --no-verify; do
      measure "strella-j$jobs${verify:+-no-verify}" "$last" bash -c 'out=$1 jobs=$2 profile=$3; shift 3; rm -rf "$out"; mkdir -p "$out"
        exec "$0" -j "$jobs" -p "$profile" -o "$out" "$@"' "$cli" "$out" "$jobs" "$profile" $verify "$@"
    done
  done
  for parallel in 1 2; do
    measure "ffmpeg-P$parallel" "$last" bash -c 'out=$1 parallel=$2 ext=$3 settings=$4; shift 4; rm -rf "$out"; mkdir -p "$out"
      printf "%s\0" "$@" | xargs -0 -P "$parallel" -I{} sh -c '\''f=$1 ext=$2; shift 2; exec ffmpeg -v error -nostdin -y -i "$f" "$@" "$0/$(basename "${f%.*}").$ext"'\'' \
        "$out" {} "$ext" $settings' _ "$out" "$parallel" "$ext" "$settings" "$@"
  done
}

mp3_settings="-c:a libmp3lame -b:a 192k -ar 48000 -ac 2"
mp3() {
  local files=()
  for n in $(seq -w 1 20); do files+=("$work/in-mp3/tone$n.wav"); done
  mkdir -p "$work/in-mp3"
  for n in $(seq 1 20); do tone "${files[$((n - 1))]}" 10 $((200 + 20 * n)); done
  compare mp3 25 mp3 "$mp3_settings" "${files[@]}"
}

clips=()
make_clips() {
  mkdir -p "$work/in-clips"
  for n in $(seq -w 1 10); do clips+=("$work/in-clips/clip$n.mp4"); clip "$work/in-clips/clip$n.mp4" 10; done
}

wmv() {
  make_clips
  compare wmv 15 wmv "-c:v wmv2 -b:v 1500k -r 25 -c:a wmav2 -b:a 128k -ar 48000 -ac 2" "${clips[@]}"
}

h264() {
  make_clips
  compare h264 47 mp4 "-c:v libx264 -crf 23 -preset medium -c:a aac -b:a 160k -ar 48000 -ac 2 -movflags +faststart" \
    "${clips[@]}"
}

short() {
  local files=()
  mkdir -p "$work/in-short"
  for n in $(seq -w 1 100); do files+=("$work/in-short/tone$n.wav"); tone "$work/in-short/tone$n.wav" 1 $((200 + 10#$n * 5)); done
  echo "short: one 1 s WAV tone to MP3"
  measure strella-one "$work/one/tone001.mp3" bash -c 'rm -rf "$1"; mkdir -p "$1"; exec "$0" -p 25 -o "$1" "$2"' \
    "$cli" "$work/one" "${files[0]}"
  measure ffmpeg-one "$work/one/tone001.mp3" bash -c 'rm -rf "$1"; mkdir -p "$1"; exec ffmpeg -v error -nostdin -y -i "$2" '"$mp3_settings"' "$1/tone001.mp3"' \
    _ "$work/one" "${files[0]}"
  compare short 25 mp3 "$mp3_settings" "${files[@]}"
}

case $mode in
  mp3) mp3 ;;
  wmv) wmv ;;
  h264) h264 ;;
  short) short ;;
  all) short; mp3; wmv; h264 ;;
  *) echo "unknown mode $mode (mp3, wmv, h264, short or all)"; exit 2 ;;
esac
