#!/usr/bin/env bash
# The program for one Debian release and architecture, built, tested and packaged in a clean
# root of that release (scripts/in-release.sh), so that the package depends on that
# release's own libraries as dpkg-shlibdeps finds them there (on Debian 13's armhf, the
# 64-bit time_t ones). On this machine's architecture a contributor, an ordinary user with
# sudo, runs the README's two commands in the root (its test command builds the package);
# arm64 and armhf are cross-built there as root and their whole suite runs under qemu-user
# (scripts/cross.sh). Prints the package's path as its last line.
#
#   scripts/release.sh SUITE amd64|arm64|armhf      SUITE: a release of scripts/releases.txt
#   scripts/release.sh SUITE ARCH --package-only    the package alone, built and checked
#                                                   there, for a suite tested elsewhere
#
# Exit status 3: apt could not make the root, or read the archive (testing may be broken for
# a while, a mirror may be in the middle of a sync).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/releases.sh
suite=${1:-} arch=${2:-}
native=$(dpkg --print-architecture)
usage="usage: scripts/release.sh $(release_names | paste -sd'|') $native|arm64|armhf"
release_field "$suite" status >/dev/null || { echo "$usage" >&2; exit 2; }
package_only=${3:-}
case "$arch" in
  "$native")
    command=(--as-user -- bash -c './scripts/demo.sh && ./scripts/test.sh') folder=release
    [ "$package_only" = --package-only ] && command=(-- scripts/package.sh)
    ;;
  arm64 | armhf)
    # The emulator is registered from here, with the kernel, for the root to use.
    scripts/register-qemu.sh "$arch"
    command=(-- scripts/cross.sh "$arch" ${package_only:+"$package_only"}) folder=release-$arch
    ;;
  *) echo "$usage" >&2; exit 2 ;;
esac
SECONDS=0
# An earlier run's package must not pass for this one's when this one fails.
rm -f "build/roots/$suite-$native/$folder"/zelvax_*_"$arch".deb
# Everything but the package's path goes to the standard error.
scripts/in-release.sh "$suite" "${command[@]}" >&2
deb=$(ls "build/roots/$suite-$native/$folder"/zelvax_*_"$arch".deb)
done="built, tested and packaged"
[ "$package_only" = --package-only ] && done="built and packaged"
echo "release: $suite $arch $done in $SECONDS s" >&2
echo "$deb"
