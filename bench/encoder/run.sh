#!/usr/bin/env bash
# A thousand add-start-finish cycles of the encoder component on a tiny clip:
# threads, descriptors and resident memory as the cycles go on. With a
# sanitizer build directory (STRELLA_SANITIZE=ON) the leak check at exit also
# reports any memory a cycle kept.
# Usage: bench/encoder/run.sh [build dir] [cycles]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
cycles=${2:-1000}
cmake --build "$build" --target strella_cycles_bench -j2 >/dev/null
work="$build/bench-encoder"
mkdir -p "$work"
STRELLA_FIXTURE_DIR="$work" SDL_AUDIODRIVER=dummy ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} "$build/bin/strella_cycles_bench" "$cycles" "$work"
