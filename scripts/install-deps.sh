#!/usr/bin/env bash
# Installs the Debian packages that building, testing and the demo need.
# Quick and quiet when everything is already there; `apt-get update` runs once, only when
# something is missing.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config clang-format
  qt6-base-dev qt6-serialport-dev qt6-qpa-plugins libgl-dev
  libgtest-dev
  xvfb xdotool x11-utils x11-apps netpbm
  dbus at-spi2-core python3-pyatspi gir1.2-atspi-2.0 python3-xlib
  dpkg-dev file
  lintian appstream desktop-file-utils man-db groff-base librsvg2-bin
  weston qt6-wayland qt6-translations-l10n
  orca openbox
  qemu-system-x86 busybox-static udev kmod cpio
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
