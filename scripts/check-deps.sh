#!/usr/bin/env bash
# Checks that scripts/install-deps.sh installs every system header the
# sources include: each header is found the way the compiler finds it, its
# Debian package looked up with dpkg -S, and that package must be in the
# install list or among what the list pulls in. A header that is not there at
# all is named with the packages that carry it (apt-file, when available).
# Exit status 1 names each header and package that is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t listed < <(scripts/install-deps.sh --list)

# The list and everything it depends on.
allowed=$(
  { printf '%s\n' "${listed[@]}"
    apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
      --no-replaces --no-enhances "${listed[@]}" 2>/dev/null |
      sed -n -E 's/^[ |]*(Pre)?Depends: ([^<>[:space:]]+).*/\2/p; s/^([a-z0-9][^[:space:]]*)$/\1/p'
  } | sed 's/:any$//; s/:amd64$//' | sort -u)

modules=(libavcodec libavformat libavutil libswscale libswresample libavfilter libavdevice sdl2 opencore-amrnb
         Qt6Widgets Qt6Gui Qt6Core Qt6Test)
flags=()
for m in "${modules[@]}"; do
  if f=$(pkg-config --cflags "$m" 2>/dev/null); then read -r -a more <<<"$f"; flags+=("${more[@]}"); fi
done

mapfile -t headers < <(grep -rhoE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<[^>]+>' src tests bench 2>/dev/null |
  sed -E 's/.*<([^>]+)>.*/\1/' | sort -u)

# The file the compiler takes for <header>, or nothing.
header_path() {
  printf '#include <%s>\n' "$1" | g++ -std=c++20 -x c++ "${flags[@]}" -E -H -o /dev/null - 2>&1 |
    awk '/^\. /{ print substr($0, 3); exit }' || true
}

carriers() {
  if ! command -v apt-file >/dev/null; then echo "(install apt-file to look it up)"; return; fi
  local found
  found=$(apt-file search -l "/$1" 2>/dev/null | grep -E -- '-dev$' | head -n 5 | paste -sd ' ' - || true)
  echo "${found:-(apt-file knows none; run apt-file update)}"
}

failures=0
for h in "${headers[@]}"; do
  path=$(header_path "$h")
  if [[ -z "$path" ]]; then
    echo "check-deps: <$h> is included but not installed; packages that carry it: $(carriers "$h")" >&2
    failures=$((failures + 1))
    continue
  fi
  owner=$(dpkg -S "$(realpath "$path")" 2>/dev/null || dpkg -S "$path" 2>/dev/null || true)
  owner=${owner%%:*}
  owner=${owner%%,*}
  if [[ -z "$owner" ]]; then
    echo "check-deps: <$h> ($path) belongs to no Debian package" >&2
    failures=$((failures + 1))
  elif ! grep -qxF "$owner" <<<"$allowed"; then
    echo "check-deps: <$h> comes from $owner, which scripts/install-deps.sh does not install" >&2
    failures=$((failures + 1))
  fi
done

if ((failures)); then
  echo "check-deps: $failures header(s) not covered by scripts/install-deps.sh" >&2
  exit 1
fi
echo "check-deps: ${#headers[@]} system headers, all from packages scripts/install-deps.sh installs"
