#!/usr/bin/env bash
# CPU time of playing a 30 s 720p clip: our player with the headless display
# beside `ffplay -nodisp -autoexit` on the same clip, both with SDL's dummy
# audio driver. ffplay without a display decodes no video, so the sound-only
# run of ours (DisableDisplay) is its like-for-like peer; the video decoding
# cost alone is shown by a single-threaded `ffmpeg -f null` decode.
# Usage: bench/player/run.sh [build dir]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-${STRELLA_BUILD_DIR:-build}}
cmake --build "$build" --target player_bench >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
clip=$work/clip720p.mp4
ffmpeg -v error -f lavfi -i testsrc2=size=1280x720:rate=30 -f lavfi -i sine=frequency=440:sample_rate=48000 \
  -t 30 -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -ac 2 -b:a 128k "$clip"
export SDL_AUDIODRIVER=dummy

# CPU seconds (user + system) of one command and its threads.
cpu_of() {
  python3 -c 'import resource, subprocess, sys, time
t = time.monotonic()
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
r = resource.getrusage(resource.RUSAGE_CHILDREN)
print("%.3f %.3f" % (r.ru_utime + r.ru_stime, time.monotonic() - t))' "$@"
}

read -r ours ours_wall < <(cpu_of "$build/bin/player_bench" "$clip" 640x360)
read -r ours_sound ours_sound_wall < <(cpu_of "$build/bin/player_bench" "$clip" nodisplay)
read -r theirs theirs_wall < <(cpu_of ffplay -nodisp -autoexit -loglevel quiet "$clip")
read -r decode decode_wall < <(cpu_of ffmpeg -v quiet -threads 1 -i "$clip" -f null -)
ratio() { python3 -c "import sys; print('%.2f' % (float(sys.argv[1]) / float(sys.argv[2])))" "$1" "$2"; }
echo "ours, video into a headless 640x360 display: cpu ${ours} s, wall ${ours_wall} s"
echo "ours, sound only (DisableDisplay):          cpu ${ours_sound} s, wall ${ours_sound_wall} s"
echo "ffplay -nodisp -autoexit (sound only):      cpu ${theirs} s, wall ${theirs_wall} s"
echo "ffmpeg -threads 1 decode to null:           cpu ${decode} s, wall ${decode_wall} s"
echo "cpu ratio, sound only, ours/ffplay: $(ratio "$ours_sound" "$theirs")"
echo "cpu ratio, ours with video / (ffplay + ffmpeg decode): $(ratio "$ours" "$(python3 -c "print($theirs + $decode)")")"
