#!/usr/bin/env bash
# Builds the encoder, app and window tests with ThreadSanitizer into
# ${STRELLA_BUILD_DIR:-build-tsan} and runs every test of them (one process
# per test, as ctest runs them). A report fails its test.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${STRELLA_BUILD_DIR:-build-tsan}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTRELLA_SANITIZE=thread \
  -DSTRELLA_WERROR=ON >/dev/null
cmake --build "$build_dir" -j "$(nproc)" --target encoder_tests app_tests window_tests strella strella-cli
names=()
for program in encoder_tests app_tests window_tests; do
  while read -r name; do names+=("$name"); done < <(
    "$build_dir/bin/$program" --gtest_list_tests | awk '/^[^ ]/ {suite=$1} /^  / {print suite $1}')
done
pattern="^($(printf '%s\n' "${names[@]}" | sed -e 's/[.[]/\\&/g' -e 's/]/\\]/g' | paste -sd'|'))$"
export TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
ctest --test-dir "$build_dir" --output-on-failure -j "$(nproc)" --timeout 1800 -R "$pattern"
