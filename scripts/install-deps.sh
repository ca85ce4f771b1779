#!/usr/bin/env bash
# Installs the Debian packages that building, testing and the demo need.
# Quick and quiet when everything is already there; `apt-get update` runs once, only when
# something is missing.
#
#   scripts/install-deps.sh                         the native build's and the tests' packages
#   scripts/install-deps.sh --arch ARCH PACKAGE...  these packages, for a cross build to ARCH:
#                                                   adds ARCH to dpkg's architectures first
#                                                   (name:ARCH for the target's own packages)
#   scripts/install-deps.sh --only PACKAGE...      these packages alone (the Windows build's tools)
#   scripts/install-deps.sh --list                  print the native build's and the tests' packages
#   scripts/install-deps.sh --list-build            print what building and the unit tests need
#
# Exit status 3: apt could not read the archive's indexes, twice a minute apart.
# Names are the ones every supported Debian release has (no compiler version in them), so the
# same list installs on Debian 12, 13 and testing. The README explains each group.
set -euo pipefail

# Building the program, its icons and the tests that need nothing more than a build machine.
build_packages=(
  g++ cmake ninja-build pkgconf
  qt6-base-dev qt6-serialport-dev libgl-dev
  librsvg2-bin netpbm
  libgtest-dev
)
packages=(
  "${build_packages[@]}"
  clang-format
  qt6-qpa-plugins
  xvfb xdotool x11-utils x11-apps
  dbus at-spi2-core python3-pyatspi gir1.2-atspi-2.0 python3-xlib
  dpkg-dev file
  lintian appstream desktop-file-utils man-db groff-base
  weston qt6-wayland qt6-translations-l10n
  orca openbox
  qemu-system-x86 busybox-static udev kmod cpio
  clang libclang-rt-dev
)
target=""
case "${1:-}" in
  --arch) target=${2:?--arch needs an architecture}; shift 2; packages=("$@") ;;
  --only) shift; packages=("$@") ;;
  --list) printf '%s\n' "${packages[@]}"; exit 0 ;;
  --list-build) printf '%s\n' "${build_packages[@]}"; exit 0 ;;
esac

native=$(dpkg --print-architecture)
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
# Another apt (unattended-upgrades, PackageKit) may hold dpkg's lock for a while: wait for it.
wait_lock=(-o DPkg::Lock::Timeout=600)
# In a clean root (scripts/in-release.sh), a copy unpacked for one run and thrown away after it,
# dpkg's syncs to disk protect nothing, and they stall what runs beside it, CI's suites among
# them (the roots are made without them for that reason). They stay on for the machine's own
# packages.
unsafe_io=()
[ -n "${ZELVAX_IN_RELEASE:-}" ] && unsafe_io=(-o Dpkg::Options::=--force-unsafe-io)
# A mirror caught in the middle of a sync serves an index of the wrong size for a while: once
# more, a little later; then exit status 3, which callers tell from a failure of ours.
update_lists() {
  $sudo apt-get "${wait_lock[@]}" update -qq && return
  sleep 60
  $sudo apt-get "${wait_lock[@]}" update -qq && return
  echo "install-deps: apt could not read the archive's indexes (a mirror in the middle of a sync?)" >&2
  exit 3
}

# Whether a package is installed. With a second architecture on the machine a bare name can
# match the other architecture's copy, or both: a bare name counts only in the native or the
# "all" architecture, and name:arch only in that one. A package whose triggers are still
# pending (another apt run is finishing, as on a desktop right after boot) is installed too.
installed() {
  local name=${1%%:*} want=${1#*:}
  [ "$want" = "$1" ] && want=$native
  dpkg-query -W -f='${Architecture} ${db:Status-Status}\n' "$name" 2>/dev/null |
    awk -v want="$want" '($1 == want || $1 == "all") && $2 ~ /^(installed|triggers-pending|triggers-awaited)$/ { found = 1 }
      END { exit !found }'
}

# The target's packages come from its architecture, which dpkg must know; the native ones
# stay at the same version, as multiarch requires.
if [ -n "$target" ] && [ "$target" != "$native" ] &&
  ! dpkg --print-foreign-architectures | grep -qx "$target"; then
  $sudo dpkg --add-architecture "$target"
  update_lists
fi

find_missing() {
  missing=()
  for p in "${packages[@]}"; do
    installed "$p" || missing+=("$p")
  done
}
find_missing
[ ${#missing[@]} -eq 0 ] && exit 0
# Another of these scripts may be installing at the same time (CI prepares in the background,
# another clone runs its tests): they take turns, on a lock of this machine's (or this root's),
# and what the other one installed is no longer missing. Anyone may read the lock, which is
# all that flock needs.
lock_file=/tmp/zelvax-install-deps.lock
[ -e "$lock_file" ] || (umask 022 && : >>"$lock_file") 2>/dev/null || true
exec {lock}<"$lock_file"
flock "$lock"
find_missing
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}" >&2
update_lists
$sudo apt-get "${wait_lock[@]}" "${unsafe_io[@]}" install -y -qq --no-install-recommends \
  "${missing[@]}" >/dev/null
