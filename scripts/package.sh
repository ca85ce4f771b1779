#!/usr/bin/env bash
# Builds the optimised program and its Debian package, build/release/zelvax_<version>_amd64.deb
# (or, cross-built, build/release-ARCH/zelvax_<version>_ARCH.deb), then checks the package with
# Debian's own tools (lintian, appstreamcli, desktop-file-validate, man's warnings) and fails
# on any error or warning.
#
#   scripts/package.sh                  build and check
#   scripts/package.sh --arch ARCH      the same for arm64 or armhf (scripts/cross.sh sets up)
#
# scripts/install_test.sh installs it into a clean root of its release and tries it there.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/releases.sh
preset=release
while [ $# -gt 0 ]; do
  case "$1" in
    --arch)
      preset=release-$2
      # dpkg-buildflags and dpkg-shlibdeps (run by CPack) then speak of the target.
      export DEB_HOST_ARCH=$2
      shift
      ;;
  esac
  shift
done
scripts/install-deps.sh

# Hardened as Debian builds its own packages, and reproducible: dpkg-buildflags maps the
# build folder away, and every time stamp in the package is the last commit's.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(last_commit_time)}
export SOURCE_DATE_EPOCH
# The release this is built on and for: "+deb12", "+deb13", or testing's name ("+forky"),
# which sorts after the stable releases.
release=$(. /etc/os-release && echo "${VERSION_ID:+deb$VERSION_ID}")
[ -n "$release" ] || release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
cmake --preset "$preset" -DZELVAX_PACKAGE_RELEASE="${release:++$release}" \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
rm -f "build/$preset"/zelvax_*.deb
cmake --build --preset "$preset" --target package >/dev/null
deb=$(ls "build/$preset"/zelvax_*.deb)
echo "== package: $deb" >&2

failed=0
fail() {
  echo "FAIL $*" >&2
  failed=1
}

contents=$(mktemp -d)
trap 'rm -rf "$contents"' EXIT
dpkg-deb -x "$deb" "$contents"

# The version in the package's name, its changelog and its AppStream releases is one.
version=$(dpkg-deb -f "$deb" Version)
changelog_version=$(zcat "$contents/usr/share/doc/zelvax/changelog.gz" | sed -n '1s/^zelvax (\([^)]*\)).*/\1/p')
metainfo_version=$(grep -m1 -o '<release version="[^"]*"' "$contents"/usr/share/metainfo/*.metainfo.xml | cut -d'"' -f2)
[ "${version%%+*}" = "$changelog_version" ] && [ "$changelog_version" = "$metainfo_version" ] ||
  fail "versions disagree: package $version, changelog $changelog_version, metainfo $metainfo_version"

echo "== lintian --pedantic" >&2
lintian_out=$(lintian --pedantic --display-info --tag-display-limit 0 "$deb" 2>&1) || true
[ -n "$lintian_out" ] && echo "$lintian_out"
grep -qE '^[EW]: ' <<<"$lintian_out" && fail "lintian reports errors or warnings"

echo "== appstreamcli validate --no-net" >&2
metainfo=$(ls "$contents"/usr/share/metainfo/*.metainfo.xml)
appstream_out=$(appstreamcli validate --no-net --pedantic "$metainfo" 2>&1) ||
  fail "appstreamcli: $metainfo"
echo "$appstream_out"
grep -qE '^[EW]: ' <<<"$appstream_out" && fail "appstreamcli reports errors or warnings"

echo "== desktop-file-validate" >&2
for desktop in "$contents"/usr/share/applications/*.desktop; do
  out=$(desktop-file-validate "$desktop" 2>&1) || true
  [ -z "$out" ] || fail "desktop-file-validate: $out"
done

echo "== man --warnings" >&2
for page in "$contents"/usr/share/man/man1/*.1.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man: $warnings"
done

[ "$failed" -eq 0 ] || exit 1
echo "package checks: lintian, appstreamcli, desktop-file-validate and man found no error or warning" >&2
