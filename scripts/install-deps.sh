#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need,
# only when some are missing. Safe to run again. With --list it prints the
# list and installs nothing (scripts/check-deps.sh reads it).
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config binutils dpkg-dev file
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev libavfilter-dev libavdevice-dev
  libsdl2-dev libopencore-amrnb-dev
  qt6-base-dev libcli11-dev libgtest-dev
  nlohmann-json3-dev parallel
  xvfb xauth ffmpeg
)

if [[ "${1:-}" == "--list" ]]; then
  printf '%s\n' "${packages[@]}"
  exit 0
fi

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null || { echo "Need root (or sudo) to install: ${missing[*]}" >&2; exit 1; }
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
