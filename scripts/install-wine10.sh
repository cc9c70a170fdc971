#!/usr/bin/env bash
# Makes, when missing, the Debian 13 root that tools/wine10-run runs Wine 10
# in: Wine 10's binaries need Debian 13's libraries, so they live in a root
# of their own beside the host's Wine 8.
#   scripts/install-wine10.sh
# The root is built in ROOT.tmp and renamed when complete, with a marker
# written last, so a run that was cut short starts over (the finished
# debootstrap step is kept). Quick when the root is there: it only looks
# for the marker. Every mount it needs is made in a private mount namespace
# and so ends with the command. Its two steps say what they do and cost as
# they go, their output in build/logs (scripts/step.sh).
set -euo pipefail

cache="${KV6_CACHE:-${HOME:-/root}/.cache}"
root="${KV6_WINE10_ROOT:-$cache/kestrov-trixie}"
marker=".kestrov-wine10-ready"
# KV6_DEBIAN_MIRROR: another Debian mirror than debootstrap's own default.
mirror="${KV6_DEBIAN_MIRROR:-}"

[ -f "$root/$marker" ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "install-wine10.sh: must run as root (debootstrap, chroot and mounts need it)" >&2
  exit 1
fi
if ! command -v debootstrap >/dev/null; then
  echo "install-wine10.sh: debootstrap is missing (scripts/install-packages.sh installs it)" >&2
  exit 1
fi

# --one-file-system: never follow a mount that somehow stayed inside.
remove() { [ ! -e "$1" ] || rm -rf --one-file-system "$1"; }

tmp="$root.tmp"
mkdir -p "$(dirname "$root")"
# A root without its marker is unfinished: build it again.
remove "$root"

. "$(dirname "$0")/step.sh"
echo "The Debian 13 root for Wine 10 is missing: making it in $root, once (1 to 6 minutes in all, about 1.4 GB)"
start=$SECONDS
# debootstrap deletes ROOT/debootstrap only when it has finished.
if [ ! -x "$tmp/usr/bin/apt-get" ] || [ -e "$tmp/debootstrap" ]; then
  remove "$tmp"
  # debootstrap mounts /proc and /sys in the root itself: keep them private.
  kv6_step "Debian 13 root, 1 of 2: debootstrap trixie" "1 to 3 minutes" wine10-root-debootstrap -- \
    unshare --mount --propagation private \
    debootstrap --variant=minbase trixie "$tmp" ${mirror:+"$mirror"} || exit 1
fi

cp -L /etc/resolv.conf "$tmp/etc/resolv.conf" 2>/dev/null || true
kv6_step "Debian 13 root, 2 of 2: Wine 10 and Xvfb inside" "1 to 3 minutes" wine10-root-wine -- \
  unshare --mount --propagation private bash -euo pipefail -c '
  tmp="$1"
  mount --rbind /dev "$tmp/dev"
  mount -t proc proc "$tmp/proc"
  run() { chroot "$tmp" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin \
            DEBIAN_FRONTEND=noninteractive LANG=C.UTF-8 "$@"; }
  run dpkg --configure -a
  run apt-get update
  run apt-get install -y --no-install-recommends wine wine64 xvfb xauth
  run apt-get clean
' bash "$tmp" || exit 1

touch "$tmp/$marker"
mv "$tmp" "$root"
echo "Wine 10 root ready: $root ($(kv6_duration $((SECONDS - start))) in all)"
