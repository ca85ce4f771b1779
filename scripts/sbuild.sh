#!/usr/bin/env bash
# Builds this checkout's Debian packages for a release and an architecture as Debian's build
# daemons do. First the source package: the release tarball (scripts/source-tarball.sh) as
# zelvax_X.Y.orig.tar.gz (the last commit) and debian/ as it stands, as the .debian.tar.xz.
# Then sbuild, with its unshare backend, in a chroot tarball of the release made by
# mmdebstrap and kept where sbuild and autopkgtest look for one
# (~/.cache/sbuild/SUITE-ARCH.tar.zst); sbuild brings it up to date with the archive before
# each build, so a build made a year later has that day's updates, and its .buildinfo lists
# them. lintian, the release's own, checks the result.
#
#   scripts/sbuild.sh SUITE [ARCH]        prints the folder with the .changes, .buildinfo, .debs
#   scripts/sbuild.sh SUITE --make-chroot  only make the release's chroot, when it is missing
#   scripts/sbuild.sh --source             only make the source package; prints its .dsc
#
# Exit status 3: apt could not make the chroot, or install the build's packages in it (testing
# may be broken for a while, a mirror may be in the middle of a sync).
#
# Each release's build gets a version of its own (package_version in scripts/releases.sh),
# sorting as systems upgrade: 1.2-1~deb12u1 < 1.2-1~deb13u1 < 1.2-1 (testing's) < 1.3-1~deb12u1.
# The unshare backend maps the user's subordinate ids (/etc/subuid); as root, which has none
# by default, the script gives root a range, as rebuilders that run as root do.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/releases.sh
suite=${1:-}
[ "$suite" = --source ] && source_only=1 && suite=$(release_names stable)
arch=${2:-$(dpkg --print-architecture)}
make_only=0
[ "$arch" = --make-chroot ] && make_only=1 && arch=$(dpkg --print-architecture)
release_field "$suite" status >/dev/null || {
  echo "usage: scripts/sbuild.sh $(release_names | paste -sd'|') [ARCH]" >&2
  exit 2
}
scripts/install-deps.sh --only sbuild mmdebstrap uidmap dpkg-dev arch-test zstd
native=$(dpkg --print-architecture)
# arm64 and armhf are cross-built in the release's chroot of this machine's architecture, and
# their tests run there all the same, under qemu-user: sbuild's default for a cross build is
# the nocheck profile, which the "cross" profile alone, and build options of our own, replace.
cross=()
if [ "$arch" != "$native" ]; then
  scripts/register-qemu.sh "$arch"
  cross=(--host="$arch" --profiles=cross)
  export DEB_BUILD_OPTIONS=${DEB_BUILD_OPTIONS:-parallel=$(nproc)}
fi
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(last_commit_time)}
export SOURCE_DATE_EPOCH

# subordinate_ids: an /etc/subuid and /etc/subgid range for this user, which the unshare
# backend needs; an ordinary user's account has one from adduser.
subordinate_ids() {
  local user
  user=$(id -un)
  grep -q "^$user:" /etc/subuid 2>/dev/null && grep -q "^$user:" /etc/subgid 2>/dev/null && return
  [ "$(id -u)" -eq 0 ] || {
    echo "sbuild: $user has no range in /etc/subuid and /etc/subgid: sudo usermod --add-subuids 100000-165535 --add-subgids 100000-165535 $user" >&2
    return 1
  }
  usermod --add-subuids 100000-165535 --add-subgids 100000-165535 "$user"
}

# source_package FOLDER: makes the source package there and prints its .dsc. The version's
# upstream part is the release tarball's. Two runs give the same bytes, so a build beside
# this one that reads the files it replaces reads the same.
source_package() {
  local folder=$1 upstream version tarball work
  upstream=$(zelvax_version)
  version=$(dpkg-parsechangelog -l debian/changelog -S Version)
  [ "${version%-*}" = "$upstream" ] || {
    echo "sbuild: debian/changelog's $version is not a packaging of $upstream (package/changelog)" >&2
    return 1
  }
  mkdir -p "$folder"
  work=$(mktemp -d "$folder/.work-XXXXXX")
  tarball=$(scripts/source-tarball.sh "$work")
  cp "$tarball" "$work/zelvax_$upstream.orig.tar.gz"
  tar -xzf "$tarball" -C "$work"
  cp -r debian "$work/zelvax-$upstream/"
  # Every file of it with the time of the last commit and the modes git gives, whenever and
  # under whatever umask the checkout was made.
  chmod -R u+rwX,go=rX "$work/zelvax-$upstream/debian"
  find "$work/zelvax-$upstream/debian" -exec touch --no-dereference --date="@$SOURCE_DATE_EPOCH" {} +
  (cd "$work" && dpkg-source --build "zelvax-$upstream" >/dev/null)
  mv "$work/zelvax_$upstream.orig.tar.gz" "$work/zelvax_$version".{dsc,debian.tar.xz} "$folder/"
  rm -rf "$work"
  echo "$folder/zelvax_$version.dsc"
}

# build_chroot TARBALL: the release's build chroot, made once: what Debian's build daemons
# start from (mmdebstrap's buildd variant) plus the build's own packages, lintian, and the
# external apt solver that sbuild's resolver for cross builds calls, so that each build only
# brings them up to date; made anew when that list changes. The archive is this machine's apt's.
build_chroot() {
  local tarball=$1 mirror sources options=() included
  included=$(scripts/install-deps.sh --list-build | grep -vx 'g++' | paste -sd, -),lintian,apt-utils
  [ -f "$tarball" ] && [ "$(cat "$tarball.packages" 2>/dev/null)" = "$included" ] && return
  mirror=$(debian_archive)
  sources=("deb $mirror $suite main")
  if [ "$(release_field "$suite" release-file)" = current ]; then
    sources+=("deb $mirror $suite-updates main" "deb $(debian_archive security) $suite-security main")
  else
    options+=(--aptopt='Acquire::Check-Valid-Until "false"')
  fi
  # dpkg's syncs to disk buy nothing in a tarball that is only ever unpacked anew.
  [ -d /usr/share/mmdebstrap/hooks/eatmydata ] && options+=(--hook-dir=/usr/share/mmdebstrap/hooks/eatmydata)
  echo "sbuild: making the $suite $native build chroot (mmdebstrap)" >&2
  mmdebstrap --quiet --variant=buildd --architectures="$native" --include="$included" \
    --aptopt='APT::Install-Recommends "false"' "${options[@]}" \
    "$suite" "$tarball.partial.tar.zst" "${sources[@]}" >"$tarball.log" 2>&1 || {
    rm -f "$tarball.partial.tar.zst"
    echo "sbuild: FAILED: mmdebstrap could not make the $suite $native chroot (log: $tarball.log)" >&2
    return 3
  }
  mv "$tarball.partial.tar.zst" "$tarball"
  echo "$included" >"$tarball.packages"
}

if [ "${source_only:-0}" = 1 ]; then
  source_package build/debs/source
  exit
fi
chroot=${XDG_CACHE_HOME:-$HOME/.cache}/sbuild/$suite-$native.tar.zst
mkdir -p "$(dirname "$chroot")"
# One build makes the chroot; another of the same release and architecture waits for it.
exec {lock}>"$chroot.lock"
flock "$lock"
build_chroot "$chroot" || exit
flock --unlock "$lock"
[ "$make_only" = 0 ] || exit 0
subordinate_ids
dsc=$(source_package build/debs/source)
# summary FIELD: a field of the summary that ends sbuild's log.
summary() { sed -n "s/^$1: //p" "$out/sbuild.log" | tail -n1; }
package_versions_in_order
version=$(package_version "$suite")
suffix=${version#"$(dpkg-parsechangelog -l debian/changelog -S Version)"}
out=build/debs/$suite-$arch
rm -rf "$out" && mkdir -p "$out"
maintainer=$(dpkg-parsechangelog -l debian/changelog -S Maintainer)
# The project has no mail domain, which the packages' overrides say; a .changes file can't
# carry an override, so its address is not reported either. An older release's lintian
# knows only the Policy of its day.
suppressed=bogus-mail-host
[ "$(release_field "$suite" status)" = oldstable ] && suppressed+=,newer-standards-version
lintian_options=(--lintian-opt=--pedantic --lintian-opt=--display-info --lintian-opt=--fail-on=warning
  --lintian-opt=--suppress-tags="$suppressed")
sbuild --chroot-mode=unshare --chroot="$chroot" --dist="$suite" --build="$native" "${cross[@]}" \
  ${suffix:+--append-to-version="$suffix"} --binNMU-timestamp="$SOURCE_DATE_EPOCH" \
  --maintainer="$maintainer" --apt-update --apt-distupgrade --no-apt-upgrade \
  --arch-any --no-arch-all --no-source --build-dir="$out" \
  --run-lintian "${lintian_options[@]}" \
  --no-run-piuparts --no-run-autopkgtest --nolog "$dsc" >"$out/sbuild.log" 2>&1 || {
  stage=$(summary Fail-Stage)
  echo "sbuild: FAILED: $suite $arch at $stage (log: $out/sbuild.log)" >&2
  tail -n 30 "$out/sbuild.log" >&2
  # Failing before the build started is the archive's doing, not the package's.
  case $stage in update | install-deps | explain-bd-uninstallable | fetch-src) exit 3 ;; esac
  exit 1
}
# sbuild calls a build successful whatever lintian says: its summary tells (pass, or info
# when lintian only has information to give).
grep -qE '^Lintian: (pass|info)$' "$out/sbuild.log" || {
  echo "sbuild: FAILED: lintian on $suite $arch: $(grep -m1 '^Lintian:' "$out/sbuild.log")" >&2
  grep -E '^[EWI]: zelvax' "$out/sbuild.log" >&2
  exit 1
}
echo "sbuild: $suite $arch: $(summary Status), $(summary Version), build $(summary Build-Time) s," \
  "$(grep -m1 -E '^[0-9]+ upgraded, ' "$out/sbuild.log" | cut -d, -f1-2) in the chroot's update" >&2
realpath "$out"
