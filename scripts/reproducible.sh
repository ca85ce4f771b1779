#!/usr/bin/env bash
# Builds the package twice, each time in a fresh clone of the last commit in a folder of its
# own, and checks that the two .deb files are byte for byte the same. Takes a few minutes.
#
#   scripts/reproducible.sh          the native package
#   scripts/reproducible.sh ARCH     the cross-built arm64 or armhf package
#   scripts/reproducible.sh windows  zelvax.exe, the installer and the zip (scripts/windows.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/releases.sh
arch=${1:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The Windows files of one clone: the installer, the zip, and the program inside the zip.
windows_sums() {
  local dist
  dist=$1/$(windows_build_folder)/dist
  (cd "$dist" && sha256sum ./*.exe ./*.zip)
  unzip -p "$dist"/*.zip '*/zelvax.exe' | sha256sum | sed 's/-$/zelvax.exe (in the zip)/'
}

if [ "$arch" = windows ]; then
  for clone in first second-clone-elsewhere; do
    git clone -q . "$work/$clone"
    (cd "$work/$clone" && scripts/windows.sh packages >"$work/$clone.log" 2>&1) || {
      tail -n 30 "$work/$clone.log" >&2
      echo "FAIL the Windows files did not build in $work/$clone" >&2
      exit 1
    }
    windows_sums "$work/$clone" | tee "$work/$clone.sums"
  done
  if ! diff "$work/first.sums" "$work/second-clone-elsewhere.sums" >&2; then
    echo "FAIL the two builds differ" >&2
    exit 1
  fi
  echo "reproducible: both builds give the same zelvax.exe, installer and zip"
  exit 0
fi

folder=release
options=()
if [ -n "$arch" ]; then
  folder=release-$arch
  options=(--arch "$arch")
fi
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
