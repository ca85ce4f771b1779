#!/usr/bin/env bash
# Checks a built package's files with the tools that read them on a desktop (appstreamcli,
# desktop-file-validate, man's warnings), which lintian, run by sbuild, does not, and that the
# version in its name, its changelog and its AppStream releases is one. Fails on any error or
# warning. Nothing is installed.
#
#   scripts/check-deb.sh DEB
set -euo pipefail
cd "$(dirname "$0")/.."
deb=${1:-}
[ -f "$deb" ] || { echo "usage: scripts/check-deb.sh DEB" >&2; exit 2; }
scripts/install-deps.sh --only appstream desktop-file-utils man-db
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
[ "${version%%-*}" = "$changelog_version" ] && [ "$changelog_version" = "$metainfo_version" ] ||
  fail "versions disagree: package $version, changelog $changelog_version, metainfo $metainfo_version"

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
echo "package checks: appstreamcli, desktop-file-validate and man found no error or warning" >&2
