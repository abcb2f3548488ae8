#!/usr/bin/env bash
# fuzz/run.sh [seconds] [jobs]: builds the probe-and-convert fuzz target with
# clang, libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer into
# build-fuzz/, seeds its corpus with the media the tests generate, and runs it
# for the given time (default 600 s). Findings land in fuzz/findings/; turn
# each into a small fixture and a test. Not part of CI.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
jobs=${2:-1}

# The fuzz build's own tools; the project's install list does not carry them.
missing=()
command -v clang++ >/dev/null || missing+=(clang)
compgen -G "/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a" >/dev/null ||
  missing+=("libclang-rt-$(clang++ --version 2>/dev/null | sed -n 's/.*version \([0-9]*\).*/\1/p' | head -1 || echo 14)-dev")
if ((${#missing[@]})); then
  sudo=$([ "$(id -u)" = 0 ] || echo sudo)
  $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

# Seeds: the fixtures the tests write (made here when no test has run yet).
fixtures=${STRELLA_BUILD_DIR:-build}/fixtures
if [ ! -f "$fixtures/clip.mp4" ]; then
  scripts/build.sh
  "${STRELLA_BUILD_DIR:-build}/bin/media_tests" --gtest_filter='Fixtures.*' >/dev/null
fi
corpus=fuzz/corpus
mkdir -p "$corpus" fuzz/findings
find "$fixtures" -maxdepth 1 -type f -size -400k -exec cp -n {} "$corpus/" \;

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSTRELLA_SANITIZE=ON -DSTRELLA_FUZZ=ON -DSTRELLA_BUILD_TESTS=OFF >/dev/null
cmake --build build-fuzz --target strella_fuzz -j "$(nproc)"

# Leaks of the libraries' own caches at exit are not findings; crashes, hangs and memory errors are.
export ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1
# A hang is a unit that never ends; 60 s leaves room for a slow unit (a few
# CPU seconds under the sanitizers) on a machine busy with other work.
parallel=()
((jobs > 1)) && parallel=(-jobs="$jobs" -workers="$jobs")
build-fuzz/bin/strella_fuzz "$corpus" -max_total_time="$seconds" "${parallel[@]}" \
  -timeout=60 -rss_limit_mb=3072 -max_len=400000 -artifact_prefix=fuzz/findings/ -print_final_stats=1
