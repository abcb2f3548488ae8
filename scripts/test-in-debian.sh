#!/usr/bin/env bash
# Runs the README's test command in a fresh Debian root, as a new user on
# that release would: debootstrap (or a copy of a pristine root made by it),
# the tree copied in, ./test.sh as root inside, the root removed afterwards.
# Then packages that build with cpack and leaves the .deb in build/debian-RELEASE/.
#   scripts/test-in-debian.sh trixie [PRISTINE_ROOT]
# Needs root and debootstrap. STRELLA_KEEP_ROOT=1 keeps the root for a look.
set -euo pipefail
cd "$(dirname "$0")/.."
release=${1:?usage: $0 RELEASE [PRISTINE_ROOT]}
pristine=${2:-}
[[ $(id -u) -eq 0 ]] || { echo "$0: needs root (chroot, mount)" >&2; exit 1; }

root=$(mktemp -d "/var/tmp/strella-$release.XXXXXX")
cleanup() {
  umount "$root/proc" 2>/dev/null || true
  umount "$root/dev" 2>/dev/null || true
  if [[ "${STRELLA_KEEP_ROOT:-0}" != 1 ]]; then rm -rf --one-file-system "$root"; fi
}
trap cleanup EXIT

if [[ -z "$pristine" ]] && ! command -v debootstrap >/dev/null; then
  echo "test-in-debian: installing debootstrap"
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap >/dev/null
fi
if [[ -n "$pristine" ]]; then
  cp -a "$pristine/." "$root/"
else
  debootstrap --variant=minbase "$release" "$root" http://deb.debian.org/debian >"$root.debootstrap.log" 2>&1 ||
    { tail -n 20 "$root.debootstrap.log" >&2; exit 1; }
  rm -f "$root.debootstrap.log"
fi
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount --bind /dev "$root/dev"
mount -t proc proc "$root/proc"

# The tree as it is, without build output.
mkdir -p "$root/src"
tar -c --exclude='./build*' --exclude=./rel --exclude=./.git . | tar -x -C "$root/src"

echo "test-in-debian: $release: $(chroot "$root" sh -c '. /etc/os-release; echo "$PRETTY_NAME"')"
chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
  /bin/bash -c 'cd /src && ./test.sh'
chroot "$root" /bin/bash -c 'cd /src/build && cpack -G DEB >/dev/null'
mkdir -p "build/debian-$release"
cp "$root"/src/build/strella_*.deb "build/debian-$release/"
echo "test-in-debian: $release: $(ls "build/debian-$release")"
