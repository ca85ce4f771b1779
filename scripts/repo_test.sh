#!/usr/bin/env bash
# A release as its users meet it, from the folder scripts/dist.sh made: its checksums and
# their signature, then its apt repository served over HTTP on 127.0.0.1 to clean roots of
# each release, set up with the README's own commands:
#
#   trixie amd64   install and a reading; an InRelease signed by another key, one past its
#                  Valid-Until and a pool package with one byte changed, each refused by apt
#                  with the installed version still running; then a second state of the
#                  repository with the version raised, which apt upgrades to; then purge
#   bookworm amd64 install and a reading; the system's and the repository's sources switched
#                  to trixie and a full upgrade, which ends with the trixie build; a reading
#   trixie armhf   install and a reading, under qemu-user; purge
#
#   scripts/repo_test.sh dist/VERSION
#   scripts/repo_test.sh --downloads dist/VERSION   the checksums and their signature alone
#   scripts/repo_test.sh --inside SCENARIO    the part that runs in a root (not by hand)
#
# The repository's further states are signed with the release's own key: the maintainer's,
# ZELVAX_RELEASE_KEY in $GNUPGHOME, or else the throwaway key dist.sh left in build/dist-gnupg;
# either must be the key of the release's keyring.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/releases.sh

say() { echo "repo: $*" >&2; }
fail() {
  echo "repo: FAIL $*" >&2
  exit 1
}

# --- In a root: /work/zelvax/build/repo-test holds the states of the repository; the one in
# served/ is what the server gives.
states=/work/zelvax/build/repo-test

# Published files are new: the server answers apt's If-Modified-Since by their time, to the
# second, so a state published in the second of apt's last fetch would pass for unchanged.
publish() {
  sleep 1
  rm -rf "$states/served.new"
  cp -r "$states/$1" "$states/served.new"
  rm -rf "$states/served"
  mv "$states/served.new" "$states/served"
  say "published: $1"
}

# Debian's own indexes too: a mirror caught mid-sync is tried once more, a little later.
update() {
  apt-get update -qq || { sleep 60 && apt-get update -qq; }
}

# The README's commands, as a user runs them: an ordinary user with sudo, which a system
# with a desktop has, and wget. Under qemu-user, whose handler does not take a program's
# set-user-id, sudo can't become root: there the commands run as root, sudo being the
# command itself.
readme_install() {
  export DEBIAN_FRONTEND=noninteractive
  update
  # A bare root has no useradd.
  apt-get install -y -qq passwd sudo wget >/dev/null
  echo "127.0.1.1 $(hostname)" >>/etc/hosts
  useradd --create-home --groups sudo --shell /bin/bash user
  # Nobody is here to type the user's password, nor to answer apt's question with yes.
  echo "user ALL=(ALL:ALL) NOPASSWD: ALL" >/etc/sudoers.d/user
  echo 'APT::Get::Assume-Yes "true";' >/etc/apt/apt.conf.d/90answer-yes
  if runuser -u user -- sudo -n true 2>/dev/null; then
    say "the README's commands, as an ordinary user with sudo:"
    sed 's/^/    /' "$states/readme-install.sh" >&2
    (cd /tmp && runuser -u user -- env -i PATH=/usr/local/bin:/usr/bin:/bin HOME=/home/user \
      LANG=C.UTF-8 /bin/bash -e "$states/readme-install.sh") || fail "the README's commands failed"
  else
    say "the README's commands, as root: sudo can't become root under emulation"
    sed 's/^/    /' "$states/readme-install.sh" >&2
    sudo() { "$@"; }
    # shellcheck source=/dev/null
    source "$states/readme-install.sh"
    unset -f sudo
  fi
  installed_version
}

installed_version() {
  dpkg-query -W -f='${Package} ${Version} ${Architecture}: ${Status}\n' zelvax
}

candidate() {
  apt-cache policy zelvax | awk '/Candidate:/ { print $2 }'
}

# apt's audit of the repository and its key. The root's own Debian entry, which mmdebstrap
# wrote in the old one-line format, draws notes of its own: only the repository's count.
audit() {
  local out ours
  out=$(apt --audit update 2>&1)
  grep -E '^(W|E|N|Audit|Warning|Notice):' <<<"$out" | sed 's/^/    /' >&2 || true
  ours=$(grep -E '^(W|E|Audit|Warning):' <<<"$out" | grep -E "zelvax|$(repository_host)" || true)
  [ -z "$ours" ] || fail "apt --audit update warns about the repository: $ours"
  say "apt --audit update: no warning about the repository"
}

repository_host() {
  sed -n 's|^URIs: *\(https\?://[^/]*\).*|\1|p' /etc/apt/sources.list.d/zelvax.sources
}

show_reading() { scripts/install_test.sh --show-reading; }

# An update or an upgrade that apt must refuse, in its own words. A repository that no longer
# verifies is not updated: apt keeps its last good indexes and says so, with exit status 0
# when that is all that went wrong; what counts is what it says and that nothing changes.
refused() {
  local what=$1 pattern=$2 out status=0
  shift 2
  out=$("$@" 2>&1) || status=$?
  grep -E "$pattern" <<<"$out" | sed 's/^/    /' >&2 || fail "$what: apt took it (status $status): $out"
  say "$what: refused (apt's status $status)"
}

still_installed() {
  local version=$1
  [ "$(dpkg-query -W -f='${Version}' zelvax)" = "$version" ] || fail "zelvax is no longer $version"
  dpkg --verify zelvax || fail "the installed files changed"
}

# The states after the first are made while the roots install it: they need the raised build.
await_states() {
  local waited=0
  until [ -e "$states/ready" ]; do
    [ ! -e "$states/failed" ] || fail "the repository's further states could not be made"
    [ "$waited" -lt 1800 ] || fail "the repository's further states did not come in 30 minutes"
    sleep 2
    waited=$((waited + 2))
  done
}

scenario_upgrade_and_tampering() {
  publish state-1
  readme_install
  audit
  show_reading
  await_states
  local before
  before=$(dpkg-query -W -f='${Version}' zelvax)

  # The indexes of the next state, signed wrongly: apt keeps what it had.
  publish foreign-key
  refused "InRelease signed by another key" 'NO_PUBKEY|not signed|[Mm]issing key|signatures? (couldn.t be verified|were invalid)|is not updated' \
    apt-get update -qq
  [ "$(candidate)" = "$before" ] || fail "the candidate changed to $(candidate)"
  still_installed "$before"

  publish expired
  refused "a Release file past its Valid-Until" 'expired|no longer valid' apt-get update -qq
  [ "$(candidate)" = "$before" ] || fail "the candidate changed to $(candidate)"
  still_installed "$before"

  # The indexes are right, but the package they point to has a byte changed.
  publish tampered-package
  update
  refused "a changed byte in the pool's package" 'Hash Sum mismatch|unexpected size' \
    apt-get install -y -qq --only-upgrade zelvax
  still_installed "$before"
  show_reading

  publish state-2
  update
  apt-get upgrade -y -qq >/dev/null
  installed_version
  [ "$(dpkg-query -W -f='${Version}' zelvax)" != "$before" ] || fail "the upgrade did not come"
  show_reading
  scripts/install_test.sh --purge
}

scenario_release_upgrade() {
  publish state-1
  readme_install
  show_reading
  local from=$VERSION_CODENAME to
  to=$(release_names stable)
  say "upgrading the system from $from to $to"
  # The suites alone, as a user edits them: "bookworm", "bookworm-updates", "bookworm-security".
  sed -i -E "s/ $from(-[a-z]+)? / $to\1 /" /etc/apt/sources.list
  sed -i "s/^Suites: $from\$/Suites: $to/" /etc/apt/sources.list.d/zelvax.sources
  grep -h -E '^(deb|Suites)' /etc/apt/sources.list /etc/apt/sources.list.d/zelvax.sources | sed 's/^/    /' >&2
  update
  apt-get full-upgrade -y -qq -o Dpkg::Options::=--force-confnew >/dev/null
  grep PRETTY_NAME /etc/os-release >&2
  installed_version
  [ "$(dpkg-query -W -f='${Version}' zelvax)" = "$(cat "$states/stable-version")" ] ||
    fail "the upgrade left zelvax $(dpkg-query -W -f='${Version}' zelvax)"
  show_reading
  scripts/install_test.sh --purge
}

scenario_install() {
  publish state-1
  readme_install
  audit_if_supported
  show_reading
  scripts/install_test.sh --purge
}

# apt --audit is apt 3's (Debian 13 on).
audit_if_supported() {
  if dpkg --compare-versions "$(dpkg-query -W -f='${Version}' apt)" ge 3; then
    audit
  fi
}

if [ "${1:-}" = --inside ]; then
  VERSION_CODENAME=$(. /etc/os-release && echo "$VERSION_CODENAME")
  "scenario_${2//-/_}"
  say "$2 took $SECONDS s"
  exit
fi

# --- On this machine.
downloads_only=""
if [ "${1:-}" = --downloads ]; then
  downloads_only=1
  shift
fi
[ $# -eq 1 ] && [ -d "$1/apt" ] || { echo "usage: scripts/repo_test.sh [--downloads] dist/VERSION" >&2; exit 2; }
dist=$(realpath "$1")
scripts/install-deps.sh --only gpg gpgv reprepro
work=$(mktemp -d)
server=""
# The agent of the throwaway key's home ends with the test; a maintainer's is left alone.
end_agent() { [ -n "${ZELVAX_RELEASE_KEY:-}" ] || gpgconf --kill all >/dev/null 2>&1 || true; }
trap 'kill $server 2>/dev/null || true; end_agent; rm -rf "$work"' EXIT
if [ -n "${ZELVAX_RELEASE_KEY:-}" ]; then
  key=$ZELVAX_RELEASE_KEY
else
  export GNUPGHOME=$PWD/build/dist-gnupg
  key=$(gpg --batch --with-colons --list-secret-keys 2>/dev/null | awk -F: '$1 == "fpr" { print $10; exit }')
  [ -n "$key" ] || fail "no key in $GNUPGHOME: give ZELVAX_RELEASE_KEY, or run scripts/dist.sh without it first"
fi
# The key's fingerprint, which must be the release keyring's.
fingerprint=$(gpg --batch --with-colons --list-secret-keys "$key" 2>/dev/null | awk -F: '$1 == "fpr" { print $10; exit }')
[ -n "$fingerprint" ] || fail "no secret key $key in ${GNUPGHOME:-~/.gnupg}"
gpg --batch --show-keys --with-colons "$dist/apt/zelvax-archive-keyring.gpg" 2>/dev/null |
  awk -F: '$1 == "fpr" { print $10 }' | grep -qx "$fingerprint" ||
  fail "the key $fingerprint is not the release's: give the release's key as ZELVAX_RELEASE_KEY"

# The downloads: the checksums and their signature hold, and fail for a changed file.
check_downloads() {
  local folder=$1
  (cd "$folder" && sha256sum -c SHA256SUMS) >&2 &&
    gpgv --keyring "$dist/apt/zelvax-archive-keyring.gpg" "$folder/SHA256SUMS.asc" "$folder/SHA256SUMS"
}
check_downloads "$dist" || fail "the dist folder does not check"
cp -a "$dist" "$work/changed"
deb=$(cd "$work/changed" && ls ./*.deb | head -n1)
printf '\x00' | dd of="$work/changed/$deb" bs=1 seek=100 conv=notrunc status=none
if check_downloads "$work/changed" 2>"$work/changed.log"; then fail "a changed $deb passed the check"; fi
grep -E 'FAILED|WARNING' "$work/changed.log" >&2
say "sha256sum -c fails for a changed $deb"
sed -i '1s/^./x/' "$work/changed/SHA256SUMS"
if gpgv --keyring "$dist/apt/zelvax-archive-keyring.gpg" "$work/changed/SHA256SUMS.asc" \
  "$work/changed/SHA256SUMS" 2>"$work/changed.log"; then fail "a changed SHA256SUMS kept its signature"; fi
grep -E 'BAD' "$work/changed.log" >&2
say "the signature fails for a changed SHA256SUMS"
[ -z "$downloads_only" ] || exit 0

stable=$(release_names stable)
native=$(dpkg --print-architecture)
# The release's version, from its source tarball: the checkout may have moved on.
version=$(basename "$(ls "$dist"/zelvax-*.tar.gz | head -n1)" .tar.gz)
version=${version#zelvax-}
[ -n "$version" ] || fail "$dist has no source tarball to tell its version"
raised=$version.1

# The second state: the same tree with its version raised, built for the stable release.
build_raised() {
  git clone -q . "$work/raised"
  (
    cd "$work/raised"
    { printf 'zelvax (%s) unstable; urgency=medium\n\n  * The version raised, to try an upgrade.\n\n' "$raised"
      printf ' -- ZELVAX developers <zelvax@localhost>  %s\n\n' "$(date -R)"
      cat package/changelog; } >package/changelog.new
    mv package/changelog.new package/changelog
    git -c user.name=test -c user.email=test@localhost commit -qam "Version $raised"
  )
  say "building $raised for $stable $native"
  local out
  out=$("$work/raised/scripts/release.sh" "$stable" "$native" --package-only | tail -n1)
  raised_deb=$work/raised/$out
}

# The first state a root publishes, in the build folder that root sees, and the README's
# commands with this server's address.
prepare_first_state() {
  local suite=$1 arch=$2 url=$3 states=build/roots/$1-$2/repo-test
  rm -rf "$states"
  mkdir -p "$states"
  cp -a "$dist/apt" "$states/state-1"
  sed -i "s|^URIs:.*|URIs: $url/$suite-$arch/repo-test/served/|" "$states/state-1/zelvax.sources"
  # The README's commands, with the address of this test's server.
  awk '/^### Debian and Raspberry Pi OS/ { section = 1 } section && /^```sh/ { block = 1; next }
       block && /^```/ { exit } block { print }' README.md |
    sed "s|^repo=.*|repo=$url/$suite-$arch/repo-test/served|" >"$states/readme-install.sh"
  grep -q 'apt install zelvax' "$states/readme-install.sh" || fail "the README has no install commands"
  echo "$version+deb$(release_field "$stable" version)" >"$states/stable-version"
}

# The states after it, for the stable release's native root: the raised version, and the
# tampered ones.
prepare_upgrade_states() {
  local states=build/roots/$stable-$native/repo-test
  local debs=() deb
  for deb in "$dist"/*.deb; do
    [ "$(basename "$deb")" = "zelvax_${version}+deb$(release_field "$stable" version)_$native.deb" ] ||
      debs+=("$deb")
  done
  ZELVAX_RELEASE_KEY=$key scripts/dist.sh --repository "$states/state-2" "${debs[@]}" "$raised_deb" >&2
  cp "$states/state-1/zelvax-archive-keyring.gpg" "$states/state-1/zelvax.sources" "$states/state-2/"

  cp -a "$states/state-2" "$states/tampered-package"
  local pooled
  pooled=$(find "$states/tampered-package/pool" -name "zelvax_${raised}+*_$native.deb")
  # One byte in the middle, the size unchanged.
  printf '\xff' | dd of="$pooled" bs=1 seek=$(($(stat -c %s "$pooled") / 2)) conv=notrunc status=none

  local release
  cp -a "$states/state-2" "$states/foreign-key"
  release=$states/foreign-key/dists/$stable
  local other=$work/other-gnupg
  mkdir -m 700 "$other"
  GNUPGHOME=$other gpg --batch --quiet --passphrase '' --quick-gen-key "Somebody else <else@localhost>" \
    ed25519 sign never 2>/dev/null
  GNUPGHOME=$other gpg --batch --yes --clearsign --output "$release/InRelease" "$release/Release"
  GNUPGHOME=$other gpg --batch --yes --armor --detach-sign --output "$release/Release.gpg" "$release/Release"
  GNUPGHOME=$other gpgconf --kill all >/dev/null 2>&1 || true

  cp -a "$states/state-2" "$states/expired"
  release=$states/expired/dists/$stable
  sed -i 's/^Valid-Until: .*/Valid-Until: Thu, 01 Jan 2026 00:00:00 UTC/' "$release/Release"
  gpg --batch --yes --local-user "$key" --clearsign --output "$release/InRelease" "$release/Release"
  gpg --batch --yes --local-user "$key" --armor --detach-sign --output "$release/Release.gpg" "$release/Release"
  touch "$states/ready"
}

# One server for every root, on a free port of the loopback. It serves the roots' repositories
# alone, through links: their build folders may hold what is nobody's business (a signing run
# puts a certificate and its password there).
mkdir -p "$work/served"
/usr/bin/python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$work/served" >"$work/server.log" 2>&1 &
server=$!
for _ in $(seq 50); do grep -q 'port' "$work/server.log" && break; sleep 0.1; done
port=$(sed -n 's/.* port \([0-9]*\).*/\1/p' "$work/server.log" | head -n1)
[ -n "$port" ] || fail "the HTTP server did not start: $(cat "$work/server.log")"
url=http://127.0.0.1:$port
say "serving the repository at $url"

# The roots run side by side: each mostly waits for apt, the emulator or the program. They
# share this machine's simulated thermometer, built once here.
[ -x build/ci/tools/zelvax-thermometer ] || {
  cmake --preset ci >/dev/null && cmake --build --preset ci --target zelvax-thermometer >/dev/null
}
oldstable=$(release_names oldstable)
runs=("$stable $native upgrade-and-tampering" "$oldstable $native release-upgrade" "$stable armhf install")
pids=()
for run in "${runs[@]}"; do
  read -r suite arch scenario <<<"$run"
  prepare_first_state "$suite" "$arch" "$url"
  mkdir -p "$work/served/$suite-$arch"
  ln -s "$PWD/build/roots/$suite-$arch/repo-test" "$work/served/$suite-$arch/repo-test"
  scripts/install_test.sh "$suite" "$arch" --bare -- scripts/repo_test.sh --inside "$scenario" \
    >"$work/$suite-$arch.log" 2>&1 &
  pids+=($!)
done
# A root waiting for the further states is told when they can't come, and each root is waited
# for: without the server they end soon.
trap 'touch "build/roots/$stable-$native/repo-test/failed"; kill $server 2>/dev/null || true; wait
  end_agent; rm -rf "$work"' EXIT
build_raised
prepare_upgrade_states
failed=0
for i in "${!runs[@]}"; do
  read -r suite arch scenario <<<"${runs[$i]}"
  status=0
  wait "${pids[$i]}" || status=$?
  say "$suite $arch, $scenario:"
  # apt's progress lines left out.
  grep -v -E '^(Get|Hit|Ign|Fetched|Selecting|Preparing|Unpacking|Setting up|Processing|Reading|Building|Need to get|After this|WARNING: apt|\(Reading|debconf: )' \
    "$work/$suite-$arch.log" | sed 's/^/  /' >&2
  if [ "$status" -ne 0 ]; then
    echo "repo: FAIL $suite $arch, $scenario (status $status)" >&2
    failed=1
  fi
done
[ "$failed" -eq 0 ] || exit 1
say "all passed"
