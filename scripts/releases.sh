# shellcheck shell=bash
# The Debian releases of scripts/releases.txt, for the scripts that source this file.

releases_table=$(dirname "${BASH_SOURCE[0]}")/releases.txt

# release_field NAME FIELD: one field (version, status, release-file, architectures) of a
# release; fails, saying nothing, for a name that is not in the table.
release_field() {
  awk -v name="$1" -v field="$2" '
    BEGIN { column["version"] = 2; column["status"] = 3; column["release-file"] = 4; column["architectures"] = 5 }
    !/^#/ && $1 == name { print $column[field]; found = 1 }
    END { exit !found }' "$releases_table"
}

# release_names [STATUS...]: the names of the releases, or of those with one of these statuses.
release_names() {
  awk -v wanted=" $* " '!/^#/ && NF && (wanted == "  " || index(wanted, " " $3 " ")) { print $1 }' \
    "$releases_table"
}

# released_names: the releases that get packages, every one but testing.
released_names() {
  awk '!/^#/ && NF && $3 != "testing" { print $1 }' "$releases_table"
}

# release_architectures NAME: the architectures a release is packaged for, one a line.
release_architectures() {
  release_field "$1" architectures | tr ',' '\n'
}

# debian_archive [security]: the address of the Debian archive that this machine's apt takes
# its packages from (with "security", of its security archive), as its sources name it, so
# that a local mirror or proxy serves the roots too. Fails, saying why, when apt has none.
debian_archive() {
  local want=${1:-} uri
  archive_uri() {
    apt-get indextargets --format '$(REPO_URI) $(RELEASE)' 'Created-By: Packages' 2>/dev/null |
      awk -v security="$want" '(security != "") == ($2 ~ /-security$/) { print $1; exit }'
  }
  uri=$(archive_uri)
  if [ -z "$uri" ]; then
    # apt lists only the sources whose indexes it has fetched.
    apt-get update -qq >/dev/null 2>&1 || true
    uri=$(archive_uri)
  fi
  [ -n "$uri" ] || { echo "no Debian ${want:+$want }archive in this machine's apt sources" >&2; return 1; }
  echo "${uri%/}"
}

# zelvax_version: the version of this checkout, the newest entry's of package/changelog.
zelvax_version() {
  sed -n '1s/^zelvax (\([^)]*\)).*/\1/p' "$(dirname "$releases_table")/../package/changelog"
}

# last_commit_time: the time of this checkout's last commit, for SOURCE_DATE_EPOCH; a source
# tarball has no git, and carries it in .source-date-epoch. Fails, saying why, when it has
# neither, or when git can't read the checkout: a build stamped with the time of the day
# would not be reproducible.
last_commit_time() {
  if [ -e .git ]; then
    git log -1 --format=%ct && return
    echo "git could not tell the last commit's time (set SOURCE_DATE_EPOCH to build anyway)" >&2
    return 1
  fi
  [ -f .source-date-epoch ] && cat .source-date-epoch && return
  echo "no git and no .source-date-epoch here: set SOURCE_DATE_EPOCH" >&2
  return 1
}

# windows_build_folder: where scripts/windows.sh, which runs in a root of the stable release,
# leaves its build; the installer and the zip are in its dist/.
windows_build_folder() {
  echo "build/roots/$(release_names stable)-amd64/windows"
}

# package_version NAME: the version of this checkout's packages for a release: the packaging's
# own (debian/changelog's, 1.2-1) with "~deb12u1" on Debian 12, "~deb13u1" on Debian 13 and
# nothing on testing, so that a system that moves to the next release moves to its build, and
# any later version of the packaging comes after all of them.
package_version() {
  local packaging number
  packaging=$(dpkg-parsechangelog -l "$(dirname "$releases_table")/../debian/changelog" -S Version) || return
  number=$(release_field "$1" version) || return
  case $number in
    testing) echo "$packaging" ;;
    *) echo "$packaging~deb${number}u1" ;;
  esac
}

# package_versions_in_order: fails, naming them, unless the releases' package versions sort in
# the order of releases.txt, and the next upstream version's first one after all of them.
package_versions_in_order() {
  local previous="" version name next
  for name in $(release_names); do
    version=$(package_version "$name")
    if [ -n "$previous" ] && ! dpkg --compare-versions "$previous" lt "$version"; then
      echo "package versions out of order: $previous before $version ($name)" >&2
      return 1
    fi
    previous=$version
  done
  next=$(awk -F. '{ print $1 "." $2 + 1 }' <<<"${previous%%-*}")-1~deb$(release_field "$(release_names | head -n1)" version)u1
  dpkg --compare-versions "$previous" lt "$next" ||
    { echo "package versions: $next, the next release's first, sorts before $previous" >&2; return 1; }
}
