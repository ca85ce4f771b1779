#!/usr/bin/env bash
# Runs a command in a clean root of a Debian release, with this checkout inside it, as a user
# of that release would run it: the root's own compilers, Qt, kernel package and tools.
#
#   scripts/in-release.sh SUITE [ARCH] [--build-deps|--bare] [--as-user] -- COMMAND...
#   scripts/in-release.sh SUITE [ARCH] [--build-deps|--bare] --make-root    only make the root
#
# SUITE is a release of scripts/releases.txt; ARCH defaults to this machine's. The root is
# made by mmdebstrap with the packages of scripts/install-deps.sh already in it (with
# --build-deps, only build-essential and the build's own packages, as on a distribution's build
# machine; with --bare, or for another architecture, only what apt needs to fetch over HTTPS,
# as on a user's system before the program comes), and kept as a
# tarball in a cache outside the work tree, keyed by suite, architecture and package list, so
# a second run starts at once. Each run unpacks a fresh copy, copies the checkout's files
# (committed or not, without build/) to /work/zelvax, and runs COMMAND there as root, in a
# mount namespace of its own, so that nothing it mounts outlives it. Its build folder is
# build/roots/SUITE-ARCH of this checkout, so what it builds stays after the root is gone.
# With --as-user, COMMAND runs as a contributor would: an ordinary user, "contributor", who
# owns the checkout and may use sudo (without a password, since nobody is there to type it),
# with an ordinary user's PATH and a home of its own, whose cache is kept as root's is.
#
# Exit status: COMMAND's; 3 when apt can't make the root (a broken testing, say), with one
# line that says so.
set -euo pipefail
project=$(cd "$(dirname "$0")/.." && pwd)
source "$project/scripts/releases.sh"

suite=${1:-}
shift || true
arch=$(dpkg --print-architecture)
case "${1:-}" in
  -* | '') ;;
  *) arch=$1 && shift ;;
esac
make_only=0 as_user=0
flavour=$suite-$arch
case "${1:-}" in
  --build-deps) flavour=builddeps-$suite-$arch && shift ;;
  --bare)
    # Another architecture's root is bare anyway.
    [ "$arch" = "$(dpkg --print-architecture)" ] && flavour=bare-$suite-$arch
    shift
    ;;
esac
[ "${1:-}" = --as-user ] && as_user=1 && shift
case "${1:-}" in
  --) shift ;;
  --make-root) make_only=1 && shift ;;
esac
release_field "$suite" status >/dev/null || {
  echo "usage: scripts/in-release.sh $(release_names | paste -sd'|') [ARCH] [--build-deps|--bare] [--as-user] -- COMMAND...|--make-root" >&2
  exit 2
}
[ $# -gt 0 ] || [ "$make_only" = 1 ] || { echo "in-release: no command given" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "in-release: needs root, for chroot and mounts: run it with sudo" >&2; exit 2; }
"$project/scripts/install-deps.sh" --only mmdebstrap arch-test zstd

cache=${ZELVAX_ROOT_CACHE:-${XDG_CACHE_HOME:-${HOME:-/var/tmp}/.cache}/zelvax-roots}
mkdir -p "$cache"
native=$(dpkg --print-architecture)
if [ "$flavour" = "builddeps-$suite-$arch" ]; then
  mapfile -t packages < <("$project/scripts/install-deps.sh" --list-build)
  packages+=(build-essential)
elif [ "$arch" = "$native" ] && [ "$flavour" = "$suite-$arch" ]; then
  mapfile -t packages < <("$project/scripts/install-deps.sh" --list)
  # The package's time stamps come from the last commit; a contributor has sudo, and an
  # account, which testing's roots can't make without passwd.
  packages+=(git sudo passwd)
else
  # A bare root, or a foreign one, only installs and runs the package, with what its Depends
  # bring.
  packages=(ca-certificates)
  [ "$arch" = "$native" ] || "$project/scripts/register-qemu.sh" "$arch"
fi
key=$(printf '%s\n' "$suite" "$arch" "${packages[@]}" | sha256sum | cut -c1-12)
tarball=$cache/$flavour-$key.tar.zst

# One run makes a root at a time; another that needs the same root waits for it.
exec {lock}>"$cache/$flavour.lock"
flock "$lock"
if [ ! -f "$tarball" ]; then
  echo "in-release: making a $flavour root (mmdebstrap, ${#packages[@]} packages)" >&2
  # The archive this machine's apt uses, a local mirror or proxy included.
  mirror=$(debian_archive)
  sources=("deb $mirror $suite main")
  options=()
  if [ "$(release_field "$suite" release-file)" = current ]; then
    sources+=("deb $mirror $suite-updates main" "deb $(debian_archive security) $suite-security main")
  else
    # Testing's Release file may be out of date on a mirror; it is still signed.
    options+=(--aptopt='Acquire::Check-Valid-Until "false"')
  fi
  log=$cache/$flavour-$key.log
  partial=$cache/partial-$flavour-$key.tar.zst # mmdebstrap picks the format by the name
  included=$(IFS=,; echo "${packages[*]}")
  # dpkg runs under eatmydata while the root is made (and no longer in the root once it is):
  # syncing each of its files to disk buys nothing in a root that is only ever unpacked anew.
  hooks=/usr/share/mmdebstrap/hooks/eatmydata
  [ -d "$hooks" ] && options+=(--hook-dir="$hooks")
  if ! mmdebstrap --quiet --variant=apt --architectures="$arch" --include="$included" \
    --aptopt='APT::Install-Recommends "false"' "${options[@]}" \
    "$suite" "$partial" "${sources[@]}" >"$log" 2>&1; then
    rm -f "$partial"
    reason=$(grep -m1 -E '^E: |unmet dependencies|Depends:' "$log" || tail -n1 "$log")
    echo "in-release: apt could not make a $suite $arch root: $reason (log: $log)" >&2
    exit 3
  fi
  mv "$partial" "$tarball"
  # Older roots of the same suite and architecture, and their logs, are of no further use.
  # A name of the other flavour starts differently, so neither deletes the other.
  find "$cache" -maxdepth 1 \( -name "$flavour-*.tar.zst" -o -name "$flavour-*.log" \) \
    ! -name "$(basename "$tarball" .tar.zst).*" -delete
fi
[ "$make_only" = 0 ] || exit 0

root=$(mktemp -d /var/tmp/zelvax-"$suite-$arch"-XXXXXX)
# A used root goes in the background, at the lowest priority, for the processor and the disk:
# deleting its files takes minutes on a busy machine, and the next step needs none of that.
trap 'nice -n 19 ionice -c 3 rm -rf --one-file-system "$root" </dev/null >/dev/null 2>&1 &' EXIT
trap 'exit 143' TERM INT HUP
# Still under the lock: a run that makes a root of another package list deletes this one.
tar --zstd -xf "$tarball" -C "$root"
flock --unlock "$lock"
mkdir -p "$root/work/zelvax"
# The checkout as it stands, committed or not: a tracked file deleted from the work tree is
# left out, as it is gone from the work tree.
(cd "$project" && git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' file; do
    if [ -e "$file" ] || [ -L "$file" ]; then printf '%s\0' "$file"; fi
  done | tar --no-recursion --null -T - -cf -) | tar -xf - -C "$root/work/zelvax"
cp -a "$project/.git" "$root/work/zelvax/.git" # the package's time stamps come from the last commit
# Root's own, as a checkout of its user's is: git refuses a repository owned by another user.
chown -R 0:0 "$root/work/zelvax"
build=$project/build/roots/$suite-$arch
home_cache=$cache/$suite-$arch-home
[ "$as_user" = 1 ] && home_cache=$cache/$suite-$arch-contributor-home
apt_cache=$cache/$suite-$arch-apt
mkdir -p "$build" "$home_cache" "$apt_cache" "$root/work/zelvax/build" "$root/root/.cache"
# apt's downloads are kept between runs, but each run has a folder of its own: apt locks the
# folder it downloads to, and another run in a root of the same release (CI builds in two at
# once) would fail on that lock. The kept packages are hard links into it, and what the run
# downloaded joins them afterwards; our own package, from the repository tests, does not, and
# is never handed to a root: apt installed a kept build of ours, of the same name and size,
# in place of the one under test, which it never fetched.
archives=$root/var/cache/apt/archives
mkdir -p "$archives/partial"
find "$apt_cache" -maxdepth 1 -name '*.deb' ! -name 'zelvax_*' -exec cp -l -t "$archives" {} + \
  2>/dev/null || find "$apt_cache" -maxdepth 1 -name '*.deb' ! -name 'zelvax_*' -exec cp -t "$archives" {} +
keep_downloads() {
  local deb name
  for deb in "$archives"/*.deb; do
    name=${deb##*/}
    [ -f "$deb" ] && [ ! -e "$apt_cache/$name" ] && [ "${name%%_*}" != zelvax ] || continue
    # Linked, or copied, under a temporary name first: another run may look at the same file.
    { ln "$deb" "$apt_cache/.$name.$$" 2>/dev/null || cp "$deb" "$apt_cache/.$name.$$"; } &&
      mv -f "$apt_cache/.$name.$$" "$apt_cache/$name"
  done
}

# Mounted in a namespace of the command's own: the root's /proc, /sys, /dev and /tmp/.X11-unix
# are this machine's (X's abstract sockets are shared anyway); build/ and the home's cache (the
# kernel of the VM step, the Qt for Windows) are kept between runs. ZELVAX_* settings, a given
# SOURCE_DATE_EPOCH, CI and DISPLAY pass through.
inner='set -e
root=$1; build=$2; home_cache=$3; as_user=$4; lists=$5; flavour=$6; refresh=$7; shift 7
mount --make-rprivate /
for folder in /proc /sys /dev; do mount --rbind "$folder" "$root$folder"; done
mkdir -p "$root/tmp/.X11-unix"
[ -d /tmp/.X11-unix ] && mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
mount --bind "$build" "$root/work/zelvax/build"
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
mapfile -t settings < <(env | grep -E "^(ZELVAX_|FUZZ_SECONDS=|SOURCE_DATE_EPOCH=|CI=|DISPLAY=)" || true)
# A root that builds is brought up to date with the archive first, as a system kept up to
# date is, so that a build made long after its root uses the updates of its day, which the
# list of its packages records. Its package lists are kept between runs, so apt fetches only
# what changed. (A bare root is the fresh system of a user, whose command fetches its lists.)
apt_in_root() {
  chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive \
    apt-get -qq -o Dpkg::Options::=--force-unsafe-io "$@"
}
if [ "$refresh" = 1 ]; then
  SECONDS=0
  [ -d "$lists" ] && cp -a "$lists/." "$root/var/lib/apt/lists/" 2>/dev/null || true
  apt_in_root update || { sleep 60 && apt_in_root update; } || {
    echo "in-release: apt could not bring the $flavour root up to date (a mirror in the middle of a sync?)" >&2
    exit 3
  }
  # Another run may have kept its lists meanwhile: then those stay.
  rm -rf "$lists.$$" && cp -a "$root/var/lib/apt/lists" "$lists.$$" &&
    { rm -rf "$lists" && mv -T "$lists.$$" "$lists"; } 2>/dev/null || rm -rf "$lists.$$"
  upgrades=$(apt_in_root -s upgrade | grep -c "^Inst " || true)
  [ "$upgrades" = 0 ] || apt_in_root -y upgrade >/dev/null
  chroot "$root" dpkg-query -W -f "\${Package} \${Version} \${Architecture}\n" >"$build/packages-$flavour.txt"
  echo "in-release: the $flavour root brought up to date in $SECONDS s: $upgrades packages upgraded; its packages listed in build/packages-$flavour.txt" >&2
fi
if [ "$as_user" = 1 ]; then
  # sudo looks up the name of the machine.
  echo "127.0.1.1 $(hostname)" >>"$root/etc/hosts"
  chroot "$root" useradd --create-home --user-group --groups sudo --shell /bin/bash contributor
  echo "contributor ALL=(ALL:ALL) NOPASSWD: ALL" >"$root/etc/sudoers.d/contributor"
  chmod 0440 "$root/etc/sudoers.d/contributor"
  mkdir -p "$root/home/contributor/.cache"
  mount --bind "$home_cache" "$root/home/contributor/.cache"
  owner=$(chroot "$root" id -u contributor):$(chroot "$root" id -g contributor)
  chown -R "$owner" "$root/work/zelvax" "$root/home/contributor"
  exec chroot "$root" /usr/sbin/runuser -u contributor -- /usr/bin/env -i \
    PATH=/usr/local/bin:/usr/bin:/bin:/usr/games HOME=/home/contributor USER=contributor \
    LOGNAME=contributor LANG=C.UTF-8 TERM="${TERM:-dumb}" "${settings[@]}" \
    /bin/bash -c "cd /work/zelvax && \"\$@\"" bash "$@"
fi
mount --bind "$home_cache" "$root/root/.cache"
exec chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
  TERM="${TERM:-dumb}" "${settings[@]}" /bin/bash -c "cd /work/zelvax && \"\$@\"" bash "$@"'
echo "in-release: $suite $arch: $*" >&2
# Scripts that run in a root themselves (scripts/windows.sh) know from this that they are in one.
export ZELVAX_IN_RELEASE=$suite-$arch
status=0
refresh=0
[ "$arch" = "$native" ] && [ "$flavour" != "bare-$suite-$arch" ] && refresh=1
unshare --mount --fork /bin/bash -c "$inner" bash "$root" "$build" "$home_cache" "$as_user" \
  "$cache/$suite-$arch-lists" "$flavour" "$refresh" "$@" || status=$?
# The build folder is root's again, as the runs as root that share it expect: Wine, for one,
# refuses a prefix in a folder of another user.
[ "$as_user" = 0 ] || chown -R 0:0 "$build"
keep_downloads || true
exit "$status"
