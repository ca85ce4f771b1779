#!/usr/bin/env bash
# Makes every artefact of a release, from a clean checkout (a tag vX.Y, or HEAD), into
# dist/VERSION/, and prints that folder's path as its last line:
#
#   zelvax-VERSION.tar.gz            the source, from git archive: the same bytes from any clone
#   zelvax_VERSION+debNN_ARCH.deb    a package for each release and architecture of
#                                    scripts/releases.txt but testing, each built in a clean
#                                    root of its release (scripts/release.sh)
#   zelvax-VERSION-windows-x64.exe   the Windows installer, and the zip (scripts/windows.sh)
#   SHA256SUMS, SHA256SUMS.asc       the checksums of all of the above, signed
#   apt/                             a signed apt repository of the packages, one suite per
#                                    release, with the public key as a binary keyring and a
#                                    deb822 zelvax.sources: publish this folder, as it is, at
#                                    $ZELVAX_APT_URL on any static web host
#
#   scripts/dist.sh [--deb FILE]... [--given-only] [--windows DIR | --windows-later]
#   scripts/dist.sh --add-windows DIR dist/VERSION  the Windows files into a folder made
#                                                   --windows-later, its checksums signed again
#   scripts/dist.sh --repository FOLDER DEB...     only an apt repository of these packages
#   scripts/dist.sh --sign-again dist/VERSION      signs a release made before again, with the
#                                                  key ZELVAX_RELEASE_KEY names (a new key, or
#                                                  the same one before its signature expires):
#                                                  its repository made anew from its packages,
#                                                  the keyring, SHA256SUMS.asc; nothing is built
#
# --deb gives a package that was already built for its release and architecture (as CI's
# release steps build them), to take instead of building it again; --given-only builds none
# (CI's own steps built every package they could), and needs ZELVAX_DIST_PARTIAL=1 for a
# package that is missing; --windows a folder that already holds the installer and the zip.
# --windows-later leaves them out for now: CI tries the repository while the Qt for Windows
# may still be in the making, then adds them.
#
# The release key is the maintainer's: the secret key in $GNUPGHOME whose fingerprint
# ZELVAX_RELEASE_KEY names. Without ZELVAX_RELEASE_KEY a throwaway key signs, and the result
# is not a release; the throwaway key's home is left in build/dist-gnupg for the tests, which
# publish further states of the repository with it. Needs root, for the clean roots.
#
# A release (ZELVAX_RELEASE_KEY given) names where it is published: ZELVAX_APT_URL, the
# repository's address, which zelvax.sources carries, and ZELVAX_HOMEPAGE, the project's, which
# the packages' metainfo and the Windows build's Qt notice carry. Neither may be missing or in
# .invalid, the placeholder of builds that are not releases, and nothing that ships may name
# .invalid: the script stops, saying what.
#
# A package whose release's archive apt can't read today (a mirror in the middle of a sync)
# fails the release; with ZELVAX_DIST_PARTIAL=1 (CI) it is left out, in one line that says so.
set -euo pipefail
project=$(cd "$(dirname "$0")/.." && pwd)
source "$project/scripts/releases.sh"
SECONDS=0

say() { echo "dist: $*" >&2; }
fail() {
  say "FAILED: $*"
  exit 1
}
# Any other failure ends with one line that names the command that failed.
set -E
trap 'status=$?; say "FAILED: \"$BASH_COMMAND\" (line $LINENO) exited with status $status"' ERR

debs=()
windows=""
only_repository=""
add_windows=""
given_only=""
sign_again=""
while [ $# -gt 0 ]; do
  case "$1" in
    --deb) debs+=("$(realpath "$2")") && shift ;;
    --windows) windows=$(realpath "$2") && shift ;;
    --windows-later) windows=later ;;
    --given-only) given_only=1 ;;
    --add-windows) add_windows=$(realpath "$2") && dist=$(realpath "$3") && break ;;
    --repository)
      only_repository=$(realpath -m "$2") && shift 2
      for deb in "$@"; do debs+=("$(realpath "$deb")"); done
      break
      ;;
    --sign-again) sign_again=1 && dist=$(realpath "$2") && break ;;
    *) fail "usage: scripts/dist.sh [--deb FILE]... [--given-only] [--windows DIR | --windows-later] | --add-windows DIR dist/VERSION | --repository FOLDER DEB... | --sign-again dist/VERSION" ;;
  esac
  shift
done
# The paths given are the caller's, resolved above; the rest are the checkout's.
cd "$project"

# A release must say where it is published: the placeholder would send its users nowhere.
published_addresses() {
  [ -n "${ZELVAX_RELEASE_KEY:-}" ] || return 0
  local name
  for name in "$@"; do
    [ -n "${!name:-}" ] || fail "a release needs $name, the address it is published at"
    [[ "${!name}" != *.invalid[/:]* && "${!name}" != *.invalid ]] ||
      fail "$name is ${!name}, a placeholder in .invalid"
  done
}

# Nothing that ships names the placeholder: the repository's entry, the packages' files, the
# Windows zip's (the same as the installer's).
no_placeholder_ships() {
  [ -n "${ZELVAX_RELEASE_KEY:-}" ] || return 0
  local where file unpacked
  unpacked=$(mktemp -d)
  where=$(grep -l -F '.invalid/' "$dist/apt/zelvax.sources" || true)
  for file in "$dist"/*.deb; do
    [ -f "$file" ] || continue
    dpkg-deb -x "$file" "$unpacked/$(basename "$file")"
  done
  for file in "$dist"/*.zip; do
    [ -f "$file" ] || continue
    unzip -q "$file" -d "$unpacked/$(basename "$file")"
  done
  where+=$(cd "$unpacked" && grep -r -l -a -E 'https?://[^/"<> ]*\.invalid\b' . | sed 's|^\./| |' || true)
  rm -rf "$unpacked"
  [ -z "$where" ] || fail "what would ship names an address in .invalid:$(echo "$where" | paste -sd' ')"
}

source_tarball() {
  scripts/source-tarball.sh "$dist" >/dev/null
  say "source: zelvax-$version.tar.gz"
}

# A given package of that release and architecture, or one built in a clean root.
package_for() {
  local suite=$1 arch=$2 want deb
  want="$version+deb$(release_field "$suite" version) $arch"
  for deb in "${debs[@]}"; do
    if [ "$(dpkg-deb -f "$deb" Version Architecture | awk '{ print $2 }' | paste -sd' ')" = "$want" ]; then
      cp "$deb" "$dist/"
      say "package: $(basename "$deb"), as built before"
      return
    fi
  done
  if [ -n "$given_only" ]; then
    [ "${ZELVAX_DIST_PARTIAL:-0}" = 1 ] || fail "the $suite $arch package was not given (--given-only)"
    say "package: $suite $arch LEFT OUT: not given (--given-only, ZELVAX_DIST_PARTIAL=1)"
    return
  fi
  local status=0
  deb=$(scripts/release.sh "$suite" "$arch" --package-only | tail -n1) || status=$?
  if [ "$status" -eq 3 ] && [ "${ZELVAX_DIST_PARTIAL:-0}" = 1 ]; then
    say "package: $suite $arch LEFT OUT: apt could not read its archive today (ZELVAX_DIST_PARTIAL=1)"
    return
  fi
  [ "$status" -eq 0 ] || fail "the $suite $arch package could not be built (status $status)"
  cp "$deb" "$dist/"
  say "package: $(basename "$deb"), built in a clean $suite root"
}

windows_files() {
  if [ "$windows" = later ]; then
    say "windows: the installer and the zip LEFT OUT for now (--windows-later)"
    return
  fi
  if [ -z "$windows" ]; then
    scripts/windows.sh >&2
    windows=$PWD/$(windows_build_folder)/dist
  fi
  local file
  for file in "zelvax-$version-windows-x64.exe" "zelvax-$version-windows-x64.zip"; do
    [ -f "$windows/$file" ] || fail "$windows has no $file"
    cp "$windows/$file" "$dist/"
  done
  say "windows: the installer and the zip"
}

# The maintainer's key, or a throwaway one in a home of its own. An Ed25519 key: Debian 12's
# gpgv and Debian 13's Sequoia both take it, and no crypto policy dates it.
signing_key() {
  if [ -n "${ZELVAX_RELEASE_KEY:-}" ]; then
    gpg --batch --quiet --list-secret-keys "$ZELVAX_RELEASE_KEY" >/dev/null 2>&1 ||
      fail "no secret key $ZELVAX_RELEASE_KEY in ${GNUPGHOME:-~/.gnupg}"
    key=$ZELVAX_RELEASE_KEY
    return
  fi
  GNUPGHOME=$PWD/build/dist-gnupg
  export GNUPGHOME
  gpgconf --kill all >/dev/null 2>&1 || true
  rm -rf "$GNUPGHOME"
  mkdir -p "$GNUPGHOME"
  chmod 700 "$GNUPGHOME"
  trap 'gpgconf --kill all >/dev/null 2>&1 || true' EXIT
  gpg --batch --quiet --no-tty --passphrase '' --quick-gen-key \
    "ZELVAX throwaway key, not a release <zelvax@localhost>" ed25519 sign never 2>/dev/null
  key=$(gpg --batch --quiet --with-colons --list-secret-keys | awk -F: '$1 == "fpr" { print $10; exit }')
  say "no ZELVAX_RELEASE_KEY: signed with a throwaway key $key; this is not a release"
}

# The key that signed a folder made before: the maintainer's, or the throwaway one left here.
earlier_key() {
  if [ -n "${ZELVAX_RELEASE_KEY:-}" ]; then
    key=$ZELVAX_RELEASE_KEY
    return
  fi
  export GNUPGHOME=$PWD/build/dist-gnupg
  trap 'gpgconf --kill all >/dev/null 2>&1 || true' EXIT
  key=$(gpg --batch --quiet --with-colons --list-secret-keys 2>/dev/null | awk -F: '$1 == "fpr" { print $10; exit }')
  [ -n "$key" ] || fail "no key in $GNUPGHOME to sign $dist again"
}

checksums() {
  (cd "$dist" && shopt -s nullglob && sha256sum -- *.tar.gz *.deb *.exe *.zip >SHA256SUMS)
  gpg --batch --quiet --yes --armor --local-user "$key" --detach-sign --output "$dist/SHA256SUMS.asc" \
    "$dist/SHA256SUMS"
}

# The repository of some packages, made by reprepro, whose own files stay out of what is
# published.
repository() {
  local apt=$1 work suite
  shift
  work=$(mktemp -d)
  mkdir -p "$work/conf" "$apt"
  for suite in $(released_names); do
    cat >>"$work/conf/distributions" <<CONF
Origin: ZELVAX
Label: ZELVAX
Codename: $suite
Architectures: $(release_architectures "$suite" | paste -sd' ')
Components: main
Description: ZELVAX for Debian $(release_field "$suite" version) "$suite"
SignWith: $key
ValidFor: 365d

CONF
  done
  local deb
  for deb in "$@"; do
    suite=$(release_for_package "$deb")
    reprepro --silent --basedir "$work" --outdir "$apt" includedeb "$suite" "$deb" ||
      { rm -rf "$work"; fail "reprepro could not put $(basename "$deb") into $suite"; }
  done
  rm -rf "$work"
  gpg --batch --quiet --export "$key" >"$apt/zelvax-archive-keyring.gpg"
  cat >"$apt/zelvax.sources" <<SOURCES
Types: deb
URIs: ${ZELVAX_APT_URL:-https://zelvax.invalid/apt/}
Suites: $(release_names stable)
Components: main
Signed-By: /usr/share/keyrings/zelvax-archive-keyring.gpg
SOURCES
  say "apt repository: suites $(ls "$apt/dists" | paste -sd' '), $(find "$apt/pool" -name '*.deb' | wc -l) packages"
}

# The release a package was built for, by the version it names (+deb13).
release_for_package() {
  local number suite
  number=$(dpkg-deb -f "$1" Version | sed -n 's/.*+deb\([0-9]*\)$/\1/p')
  for suite in $(release_names); do
    [ "$(release_field "$suite" version)" = "$number" ] && echo "$suite" && return
  done
  fail "$(basename "$1") names no release of scripts/releases.txt"
}

# What a user checks, checked here first.
self_check() {
  (cd "$dist" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match"
  gpgv --quiet --keyring "$dist/apt/zelvax-archive-keyring.gpg" "$dist/SHA256SUMS.asc" \
    "$dist/SHA256SUMS" 2>/dev/null || fail "SHA256SUMS.asc does not verify"
  local inrelease
  for inrelease in "$dist"/apt/dists/*/InRelease; do
    gpgv --quiet --keyring "$dist/apt/zelvax-archive-keyring.gpg" "$inrelease" 2>/dev/null ||
      fail "$(basename "$(dirname "$inrelease")")'s InRelease does not verify"
  done
}

if [ -n "$add_windows" ]; then
  [ -f "$dist/SHA256SUMS" ] && [ -d "$dist/apt" ] || fail "$dist is not a folder dist.sh made"
  version=$(basename "$dist")
  windows=$add_windows
  windows_files
  earlier_key
  checksums
  self_check
  no_placeholder_ships
  say "the Windows files added and the checksums signed again:"
  (cd "$dist" && ls -l) >&2
  echo "$dist"
  exit
fi

# The same packages, and the same files, signed by the key ZELVAX_RELEASE_KEY names.
if [ -n "$sign_again" ]; then
  [ -f "$dist/SHA256SUMS" ] && [ -d "$dist/apt" ] || fail "$dist is not a folder dist.sh made"
  [ -n "${ZELVAX_RELEASE_KEY:-}" ] || fail "--sign-again signs with ZELVAX_RELEASE_KEY"
  # The address stays the one published, unless another is given.
  : "${ZELVAX_APT_URL:=$(sed -n 's/^URIs: *//p' "$dist/apt/zelvax.sources")}"
  published_addresses ZELVAX_APT_URL
  scripts/install-deps.sh --only gpg gpgv reprepro
  signing_key
  (cd "$dist" && sha256sum --quiet -c SHA256SUMS) || fail "$dist does not match its SHA256SUMS"
  rm -rf "$dist/apt.new"
  repository "$dist/apt.new" "$dist"/*.deb
  rm -rf "$dist/apt" && mv "$dist/apt.new" "$dist/apt"
  checksums
  self_check
  say "$dist signed again with $key, its repository valid until $(sed -n 's/^Valid-Until: //p' "$dist/apt/dists/$(release_names stable)/Release")"
  echo "$dist"
  exit
fi

if [ -n "$only_repository" ]; then
  [ -n "${ZELVAX_RELEASE_KEY:-}" ] || fail "--repository signs with ZELVAX_RELEASE_KEY"
  key=$ZELVAX_RELEASE_KEY
  scripts/install-deps.sh --only gpg reprepro
  rm -rf "$only_repository"
  repository "$only_repository" "${debs[@]}"
  exit
fi

published_addresses ZELVAX_APT_URL ZELVAX_HOMEPAGE
# What is released is what is committed: nothing else may slip in.
[ -z "$(git status --porcelain --untracked-files=normal)" ] ||
  fail "the checkout has uncommitted changes; a release is made from a commit"
version=$(zelvax_version)
[ -n "$version" ] || fail "package/changelog names no version"
tag=$(git tag --points-at HEAD --list 'v*' | head -n1)
[ -z "$tag" ] || [ "$tag" = "v$version" ] || fail "HEAD is tagged $tag, but its changelog says $version"
say "ZELVAX $version from ${tag:-$(git rev-parse --short HEAD)}"
dist=$PWD/dist/$version
rm -rf "$dist"
mkdir -p "$dist"
scripts/install-deps.sh --only gpg gpgv reprepro

source_tarball
for suite in $(released_names); do
  for arch in $(release_architectures "$suite"); do
    package_for "$suite" "$arch"
  done
done
windows_files
signing_key
checksums
repository "$dist/apt" "$dist"/*.deb
self_check
no_placeholder_ships
say "made and checked in $SECONDS s:"
(cd "$dist" && ls -l) >&2
echo "$dist"
