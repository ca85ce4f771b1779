#!/usr/bin/env bash
# The program for ARM (a Raspberry Pi, say), cross-built with Debian's multiarch on this
# machine: the whole test suite runs under qemu-user, and the Debian package is built and
# checked as the native one is.
#
#   scripts/cross.sh arm64|armhf                  build, test, package and check
#   scripts/cross.sh arm64|armhf --package-only   only package and check
#
# It adds the architecture to this machine and installs the target's libraries, which keeps
# the native ones at the same version: the README's test command leaves it out for that reason.
set -euo pipefail
cd "$(dirname "$0")/.."

arch=${1:-}
case "$arch" in
  arm64) emulator=qemu-aarch64 ;;
  armhf) emulator=qemu-arm ;;
  *) echo "usage: scripts/cross.sh arm64|armhf" >&2; exit 2 ;;
esac
SECONDS=0

# 1. The architecture and the target's packages, beside the native ones.
scripts/install-deps.sh
scripts/install-deps.sh --arch "$arch" \
  "crossbuild-essential-$arch" qemu-user qemu-user-static \
  "qt6-base-dev:$arch" "qt6-serialport-dev:$arch" "qt6-wayland:$arch" "qt6-qpa-plugins:$arch" \
  "libgtest-dev:$arch" "libgl-dev:$arch" "pkgconf:$arch"

# 2. The end-to-end tests start the target's programs themselves, which needs the kernel to
# hand ARM executables to qemu; CTest's own emulator covers the rest.
scripts/register-qemu.sh "$arch"

if [ "${2:-}" = --package-only ]; then
  scripts/package.sh --arch "$arch"
  exit
fi

# 3 and 4. Build with warnings as errors and run every test under emulation, where the
# timing bounds stretch by one factor.
echo "== cross-$arch: configure and build" >&2
cmake --preset "cross-$arch" >/dev/null
cmake --build --preset "cross-$arch"
echo "== cross-$arch: tests under $emulator" >&2
ZELVAX_TIME_SCALE=${ZELVAX_TIME_SCALE:-4} ctest --preset "cross-$arch"

# 5 and 6. The package, hardened for the target, checked with Debian's tools.
scripts/package.sh --arch "$arch"
echo "cross: $arch built, tested and packaged in $SECONDS s" >&2
