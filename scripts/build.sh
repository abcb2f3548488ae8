#!/usr/bin/env bash
# Configures and builds the project into ${STRELLA_BUILD_DIR:-build}.
# STRELLA_SANITIZE=ON builds with AddressSanitizer and UndefinedBehaviorSanitizer,
# STRELLA_SANITIZE=thread with ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${STRELLA_BUILD_DIR:-build}
cmake -S . -B "$build_dir" -G Ninja \
  -DCMAKE_BUILD_TYPE="${STRELLA_BUILD_TYPE:-RelWithDebInfo}" \
  -DSTRELLA_SANITIZE="${STRELLA_SANITIZE:-OFF}" -DSTRELLA_WERROR=ON >/dev/null
cmake --build "$build_dir" -j "$(nproc)"
