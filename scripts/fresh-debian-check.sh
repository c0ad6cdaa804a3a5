#!/usr/bin/env bash
# Proves that the README's two commands work on a fresh, minimal Debian 12:
# builds a debootstrap root (variant minbase, plus git), clones the committed
# tree into it and runs `bash scripts/main-job.sh` there as root, checks that
# it installed none of the tests' tools, then runs `bash scripts/test.sh`.
# Needs root, the Debian package archive and about 2 GB of disk; takes 15 to
# 25 minutes.  Kept out of the test command for that reason.
#   --main-job-only  stop after the main job (a few minutes, 300 MB)
#   FRESH_ROOT      where the root goes (default: build/fresh-debian)
#   DEBIAN_MIRROR   the archive (default: http://deb.debian.org/debian)
# Uncommitted changes are not part of the clone.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
target=${FRESH_ROOT:-$repo/build/fresh-debian}
mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}

main_job_only=0
for arg in "$@"; do
  case "$arg" in
    --main-job-only) main_job_only=1 ;;
    *) echo "fresh-debian-check.sh: unknown option $arg" >&2; exit 2 ;;
  esac
done

if [ "$(id -u)" -ne 0 ]; then
  echo "fresh-debian-check.sh: run as root (debootstrap and chroot need it)" >&2
  exit 1
fi
command -v debootstrap >/dev/null ||
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap

mounts=(proc sys dev dev/pts dev/shm)
unmount_all() {
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
    mountpoint -q "$target/${mounts[i]}" && umount -l "$target/${mounts[i]}"
  done
  return 0
}
trap unmount_all EXIT

unmount_all
rm -rf "$target"
echo "== debootstrap --variant=minbase --include=git bookworm"
debootstrap --variant=minbase --include=git bookworm "$target" "$mirror" >"$target.log" 2>&1 ||
  { tail -20 "$target.log" >&2; exit 1; }
cat >"$target/etc/apt/sources.list" <<SOURCES
deb $mirror bookworm main
deb $mirror bookworm-updates main
deb http://deb.debian.org/debian-security bookworm-security main
SOURCES
cp /etc/resolv.conf "$target/etc/resolv.conf"
mount -t proc proc "$target/proc"
mount -t sysfs sys "$target/sys"
mount --bind /dev "$target/dev"
mount -t devpts devpts "$target/dev/pts"
mount -t tmpfs shm "$target/dev/shm"

git clone --quiet "$repo" "$target/root/kelmar"
in_root() {
  chroot "$target" /usr/bin/env -i HOME=/root TERM=dumb PATH=/usr/sbin:/usr/bin:/sbin:/bin \
    bash -c "cd /root/kelmar && $1"
}
echo "== in the fresh root: bash scripts/main-job.sh"
in_root 'bash scripts/main-job.sh'
# The main job installs only what its build needs (install-deps.sh --main).
for tool in clang wine64 qemu-user ffmpeg; do
  if in_root "dpkg-query -W -f='\${Status}' $tool 2>/dev/null | grep -q 'install ok installed'"; then
    echo "fresh-debian-check.sh: the main job installed $tool, a tool of the tests" >&2
    exit 1
  fi
done
if [ $main_job_only = 1 ]; then
  echo "== the main job passed on a fresh Debian 12 (minbase + git)"
  exit 0
fi
echo "== in the fresh root: bash scripts/test.sh"
in_root 'bash scripts/test.sh'
echo "== both commands passed on a fresh Debian 12 (minbase + git)"
