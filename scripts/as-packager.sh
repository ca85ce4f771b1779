#!/usr/bin/env bash
# Builds and tests the source as a distribution's packager does: the source tarball, unpacked
# in a clean root of the release that has only build-essential and the build's own packages
# (scripts/install-deps.sh --list-build), configured as debhelper's cmake build system does,
# built, tested with ctest and installed into a staging folder, all as an ordinary user with
# no home, as Debian's build daemons run it. Tests that need what such a machine lacks skip
# with their reasons, which are listed; the staged files must be the program's alone.
#
#   scripts/as-packager.sh [SUITE]       SUITE defaults to the stable release
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = --in-root ]; then
  tarball=$2
  # The build daemon's user: nobody, with no home to write to. Only the long run's length
  # comes along, which CI shortens.
  work=$(mktemp -d /tmp/packager-XXXXXX)
  chown 65534:65534 "$work"
  exec chroot --userspec=65534:65534 --skip-chdir / env -i PATH=/usr/bin:/bin \
    HOME=/nonexistent LANG=C.UTF-8 ${ZELVAX_LONG_RUN_SECONDS:+ZELVAX_LONG_RUN_SECONDS=$ZELVAX_LONG_RUN_SECONDS} \
    "$PWD/scripts/as-packager.sh" --as-user "$tarball" "$work"
fi

if [ "${1:-}" = --as-user ]; then
  tarball=$2 work=$3
  echo "packager: building as $(id -un) (uid $(id -u)), HOME=$HOME" >&2
  cd "$work"
  tar -xzf "$tarball"
  source_dir=$(echo "$work"/zelvax-*)
  # What dh_auto_configure passes to CMake (debhelper 13), with its default generator.
  cmake -S "$source_dir" -B build -G "Unix Makefiles" -DCMAKE_INSTALL_PREFIX=/usr \
    -DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_SYSCONFDIR=/etc -DCMAKE_INSTALL_LOCALSTATEDIR=/var \
    -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF -DCMAKE_INSTALL_RUNSTATEDIR=/run \
    -DCMAKE_INSTALL_LIBDIR="lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)" \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
  make -C build -j"$(nproc)" >/dev/null
  echo "packager: built" >&2
  status=0
  (cd build && ctest --output-on-failure) || status=$?
  # Each skipped test with the line that says what it needs.
  awk '/^[0-9]+\/[0-9]+ Testing: / { name = $3 }
       /^skipped: / { print "packager: skipped " name ": " substr($0, 10) }' \
    build/Testing/Temporary/LastTest.log >&2
  [ "$status" -eq 0 ] || exit "$status"
  DESTDIR="$work/staging" cmake --install build >/dev/null
  unexpected=0
  while IFS= read -r file; do
    echo "packager: staged $file" >&2
    case "$file" in
      usr/bin/zelvax | usr/share/man/man1/zelvax.1.gz | \
        usr/share/applications/invalid.zelvax.zelvax.desktop | \
        usr/share/metainfo/invalid.zelvax.zelvax.metainfo.xml | \
        usr/share/icons/hicolor/*/apps/invalid.zelvax.zelvax.png | \
        usr/share/icons/hicolor/scalable/apps/invalid.zelvax.zelvax.svg) ;;
      *) echo "packager: FAIL $file is not the program's" >&2; unexpected=1 ;;
    esac
  done < <(cd "$work/staging" && find . ! -type d | sed 's|^\./||' | sort)
  [ -x "$work/staging/usr/bin/zelvax" ] || { echo "packager: FAIL no usr/bin/zelvax" >&2; exit 1; }
  exit "$unexpected"
fi

source scripts/releases.sh
suite=${1:-$(release_names stable)}
SECONDS=0
# The release's own source tarball, which scripts/dist.sh makes the same way.
tarball=$(scripts/source-tarball.sh build)
# The tarball goes in through the root's build folder, which is this checkout's
# build/roots/SUITE-ARCH.
folder=build/roots/$suite-$(dpkg --print-architecture)
mkdir -p "$folder"
cp "$tarball" "$folder/"
scripts/in-release.sh "$suite" --build-deps -- \
  scripts/as-packager.sh --in-root "/work/zelvax/build/$(basename "$tarball")"
echo "packager: $suite: the source built, tested and installed as a packager would in $SECONDS s" >&2
