#!/usr/bin/env bash
# The modern video profiles through strella-cli (profile preselections: original
# size, the source's frame rate, quality "Normal" as constant quality) against
# the ffmpeg program with the same encoder, speed preset, quality and audio, on
# a 1080p test-pattern clip with a tone. Prints whole-process wall time, CPU
# time and peak memory of both sides (bench/measure.sh), their ratios, and the
# SSIM of each output against the source (the libraries' ssim filter). The two
# sides run in turn, the first one alternating; on a machine shared with other
# work the best wall time of several runs and the CPU time are the firmer
# figures. HEVC and VP9 encode 1080p at a few pictures a second on two cores:
# give them a shorter clip (the seconds argument) where time is short.
# Usage: bench/modern/run.sh [build dir] [runs of each side] [seconds] [profile rows...]
#   rows: 47 H.264 MP4, 48 HEVC MP4, 49 HEVC MKV, 50 VP9 WebM, 51 AV1 WebM (default: all)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
total_runs=${2:-1}
runs=1  # measure's count: the loop below alternates the sides itself
seconds=${3:-10}
shift $(($# < 3 ? $# : 3))
rows=("$@")
[ ${#rows[@]} -gt 0 ] || rows=(47 48 49 50 51)
cmake --build "$build" --target strella-cli -j2 >"$build/bench-modern-build.log"
cli="$(pwd)/$build/bin/strella-cli"
work="$(pwd)/$build/bench-modern"
mkdir -p "$work/strella" "$work/ffmpeg"
input="$work/input-1080p-${seconds}s.mp4"
[ -s "$input" ] || ffmpeg -v error -nostdin -y -f lavfi -i "testsrc2=size=1920x1080:rate=25:duration=$seconds" \
  -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=$seconds" -ac 2 \
  -c:v mpeg4 -q:v 2 -c:a aac -b:a 192k "$input"

source bench/measure.sh

# What each profile's preselections ask of the encoders, for the ffmpeg program.
declare -A extension settings
extension[47]=mp4; settings[47]="-c:v libx264 -preset medium -crf 23 -movflags +faststart -c:a aac -b:a 160k -ar 48000 -ac 2"
extension[48]=mp4; settings[48]="-c:v libx265 -preset medium -crf 28 -tag:v hvc1 -movflags +faststart -c:a aac -b:a 160k -ar 48000 -ac 2"
extension[49]=mkv; settings[49]="-c:v libx265 -preset medium -crf 28 -c:a libopus -b:a 128k -ar 48000 -ac 2"
extension[50]=webm; settings[50]="-c:v libvpx-vp9 -crf 31 -b:v 0 -cpu-used 3 -row-mt 1 -c:a libopus -b:a 128k -ar 48000 -ac 2"
extension[51]=webm; settings[51]="-c:v libsvtav1 -preset 8 -crf 35 -c:a libopus -b:a 128k -ar 48000 -ac 2"

ssim() {  # output file: the SSIM "All" value against the input
  ffmpeg -hide_banner -nostats -nostdin -i "$1" -i "$input" -lavfi "[0:v][1:v]ssim" -f null - 2>&1 |
    sed -n 's/.*All:\([0-9.]*\).*/\1/p' | tail -1
}

# "wall cpu rss" of each run of a label, from measure's lines.
runs_of() { grep "^$1 " "$work/results.txt" | awk '{ split($5, t, ":"); print t[1] * 60 + t[2], ($NF == "s" ? $(NF - 1) : 0), $8 }'; }

echo "input: $input ($(stat -c %s "$input") bytes), $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg), $(date -u +%FT%TZ)"
: >"$work/results.txt"
for row in "${rows[@]}"; do
  ext=${extension[$row]}
  ours="$work/strella/$(basename "$input" .mp4).$ext"
  theirs="$work/ffmpeg/$(basename "$input" .mp4).$ext"
  strella_run() { measure "strella-$row" "$ours" "$cli" --overwrite -p "$row" -o "$work/strella" "$input"; }
  # shellcheck disable=SC2086
  ffmpeg_run() { measure "ffmpeg-$row" "$theirs" ffmpeg -v error -nostdin -y -i "$input" ${settings[$row]} "$theirs"; }
  # One run of each side in turn, the first side alternating, so that a change
  # of load on the shared machine falls on both alike.
  for i in $(seq "$total_runs"); do
    if ((i % 2)); then strella_run; ffmpeg_run; else ffmpeg_run; strella_run; fi | sed "s/ run 1 / run $i /"
  done | tee -a "$work/results.txt"
  s_ssim=$(ssim "$ours")
  f_ssim=$(ssim "$theirs")
  # Best wall time of each side (the run least disturbed by other work), mean CPU time, largest peak memory.
  paste <(runs_of "strella-$row") <(runs_of "ffmpeg-$row") | awk -v r="$row" -v ss="$s_ssim" -v fs="$f_ssim" '
    NR == 1 || $1 < sw { sw = $1 } NR == 1 || $4 < fw { fw = $4 }
    { sc += $2; fc += $5; if ($3 > sr) sr = $3; if ($6 > fr) fr = $6 }
    END {
      printf "profile %s: best wall %.2f s / %.2f s = %.3f   cpu %.2f s / %.2f s = %.3f   peak RSS %d / %d kB = %.2f   SSIM %s / %s (diff %+.4f)\n",
             r, sw, fw, sw / fw, sc / NR, fc / NR, sc / fc, sr, fr, sr / fr, ss, fs, ss - fs }'
done
