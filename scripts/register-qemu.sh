#!/usr/bin/env bash
# Lets the kernel run ARM programs through qemu-user: the end-to-end tests of a cross build
# start them directly, and a root of an ARM release runs nothing else. qemu-user-static's
# handler is registered with the F flag, so qemu is loaded at registration and also works
# inside another root. Its package leaves registering to systemd-binfmt, which a container
# may not run.
#
#   scripts/register-qemu.sh arm64|armhf
set -euo pipefail
case "${1:-}" in
  arm64) emulator=qemu-aarch64 ;;
  armhf) emulator=qemu-arm ;;
  *) echo "usage: scripts/register-qemu.sh arm64|armhf" >&2; exit 2 ;;
esac
"$(dirname "$0")/install-deps.sh" --only qemu-user qemu-user-static
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
  $sudo mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null || true
fi
handler=/proc/sys/fs/binfmt_misc/$emulator
if [ -e /proc/sys/fs/binfmt_misc/register ] && ! grep -qx 'flags: .*F.*' "$handler" 2>/dev/null; then
  [ -e "$handler" ] && { echo -1 | $sudo tee "$handler" >/dev/null || true; }
  $sudo sh -c "cat /usr/lib/binfmt.d/$emulator.conf > /proc/sys/fs/binfmt_misc/register" || true
fi
[ -e "$handler" ] || { echo "no binfmt handler for $emulator: ARM programs can't run here" >&2; exit 1; }
