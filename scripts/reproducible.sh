#!/usr/bin/env bash
# Builds the package twice, each time in a fresh clone of the last commit in a folder of its
# own, and checks that the two .deb files are byte for byte the same. Takes a few minutes.
#
#   scripts/reproducible.sh          the native package
#   scripts/reproducible.sh ARCH     the cross-built arm64 or armhf package
set -euo pipefail
cd "$(dirname "$0")/.."
arch=${1:-}
folder=release
options=()
if [ -n "$arch" ]; then
  folder=release-$arch
  options=(--arch "$arch")
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sums=()
for clone in first second-clone-elsewhere; do
  git clone -q . "$work/$clone"
  (cd "$work/$clone" && scripts/package.sh "${options[@]}" >/dev/null 2>&1) || {
    echo "FAIL the package did not build in $work/$clone" >&2
    exit 1
  }
  sum=$(sha256sum "$work/$clone"/build/$folder/zelvax_*.deb | cut -d' ' -f1)
  echo "$sum  $clone/$(basename "$work/$clone"/build/$folder/zelvax_*.deb)"
  sums+=("$sum")
done
if [ "${sums[0]}" != "${sums[1]}" ]; then
  echo "FAIL the two builds differ" >&2
  exit 1
fi
echo "reproducible: both builds give the same .deb"
