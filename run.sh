#!/usr/bin/env bash
# Installs what is missing, builds, and starts Strella Video Converter.
# Files given on the command line are added to the file list.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/build.sh
bin=${STRELLA_BUILD_DIR:-build}/bin
if [[ -x "$bin/strella" ]]; then
  exec "$bin/strella" "$@"
fi
exec "$bin/strella-cli" --help
