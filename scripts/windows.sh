#!/usr/bin/env bash
# The Windows build, in a clean root of Debian's stable release (scripts/in-release.sh): a
# static Qt for Windows built with mingw-w64 from the source of the root's own Qt, Debian's
# patches applied; zelvax.exe cross-built against it; the core's and the port's tests and the
# program itself run under the root's Wine, which reports Windows 10 and then Windows 11; an
# installer and a portable zip, the same bytes from every build of one commit, signed when a
# certificate is given; and the installer tried: a silent install, an upgrade in place, a
# silent uninstall.
#
#   scripts/windows.sh             all of it; the installer and the zip go to the root's build
#                                  folder, build/roots/STABLE-amd64/windows/dist
#   scripts/windows.sh qt          only the Qt for Windows (cached; free when the cache has it)
#   scripts/windows.sh prepare     only what the checks need, built ahead: the Wine prefix,
#                                  zelvax.exe and its tests, the simulated thermometer, and
#                                  the version-raised tree that the upgrade installs
#   scripts/windows.sh packages    only zelvax.exe, the installer and the zip, untried
#   --throwaway-certificate        signs them with a certificate made for the run
#
# A code-signing certificate is given as a PKCS#12 file, ZELVAX_SIGN_PKCS12, with its password
# in the file ZELVAX_SIGN_PASSWORD_FILE. The Qt build takes about twenty minutes on two cores
# the first time. It is kept in the root's cache (~/.cache/zelvax-roots/STABLE-amd64-home/
# zelvax-qt-windows), named by the source package's version and a hash of the functions that
# build it, so a security update of Qt or a change of its options builds a new one.
set -euo pipefail
# Failures inside $(...) stop the script too.
shopt -s inherit_errexit
cd "$(dirname "$0")/.."
source scripts/releases.sh
SECONDS=0
# A failure ends with one line that names the command that failed, in the root and outside it.
set -E
trap 'status=$?; echo "windows: FAILED${ZELVAX_IN_RELEASE:+ in the $ZELVAX_IN_RELEASE root}: \"$BASH_COMMAND\" (line $LINENO) exited with status $status" >&2' ERR

# The Windows build runs in a clean root of Debian's stable release (scripts/in-release.sh),
# with that release's mingw-w64 and Wine, and its Qt: Qt's generators (moc, uic, rcc) are the
# root's, and the Qt for Windows is built from the source package of the root's own Qt.
if [ -z "${ZELVAX_IN_RELEASE:-}" ]; then
  # A certificate given here goes into the root's build folder for the run, and no longer.
  if [ -n "${ZELVAX_SIGN_PKCS12:-}" ]; then
    given=$(windows_build_folder)/../signing-given
    rm -rf "$given" && mkdir -p "$(dirname "$given")" && mkdir -m 700 "$given"
    trap 'rm -rf "$given"' EXIT
    cp "$ZELVAX_SIGN_PKCS12" "$given/certificate.p12"
    cp "${ZELVAX_SIGN_PASSWORD_FILE:?names no password file}" "$given/password"
    export ZELVAX_SIGN_PKCS12=/work/zelvax/build/signing-given/certificate.p12
    export ZELVAX_SIGN_PASSWORD_FILE=/work/zelvax/build/signing-given/password
  fi
  scripts/in-release.sh "$(release_names stable)" amd64 -- scripts/windows.sh "$@"
  exit
fi
cache=${ZELVAX_QT_WINDOWS_CACHE:-$HOME/.cache/zelvax-qt-windows}
jobs=$(nproc)

say() { echo "windows: $*" >&2; }

install_tools() {
  scripts/install-deps.sh
  scripts/install-deps.sh --only g++-mingw-w64-x86-64-posix icoutils nsis wine wine64 xclip \
    dpkg-dev osslsigncode unzip
}

host_qt_version() {
  /usr/lib/qt6/bin/qtpaths6 --query QT_VERSION 2>/dev/null || echo none
}

# apt-get or apt-cache with a source list of their own: deb-src entries for the archives this
# root's apt reads, so that the source comes from the same signed archive as the root's Qt.
# Their lists are kept in the cache, which only root may read, so apt does not hand its
# downloads to its sandbox user.
apt_sources() {
  local tool=$1
  shift
  local state=$cache/apt
  if [ ! -f "$state/sources.list" ]; then
    mkdir -p "$state/lists/partial"
    debian_archive >/dev/null
    apt-get indextargets --format '$(REPO_URI) $(RELEASE)' 'Created-By: Packages' | sort -u |
      awk '{ print "deb-src " $1 " " $2 " main" }' >"$state/sources.list"
  fi
  "$tool" -q -o Dir::Etc::SourceList="$state/sources.list" -o Dir::Etc::SourceParts=/nonexistent \
    -o Dir::State::Lists="$state/lists" -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache= \
    -o APT::Sandbox::User=root "$@"
}

# The version of Debian's qtbase source that the archive has now, a security update included;
# it must be of the root's Qt version, whose generators build against it.
qt_source_version() {
  apt_sources apt-get update >/dev/null
  local version
  version=$(apt_sources apt-cache showsrc --only-source qt6-base |
    awk '/^Version:/ { print $2 }' | sort -V | tail -n1)
  [ -n "$version" ] || { say "apt has no source of qt6-base"; return 1; }
  local upstream=${version#*:}
  upstream=${upstream%%+*}
  if [ "$upstream" != "$(host_qt_version)" ]; then
    say "Debian's qt6-base source is $version, the root's Qt is $(host_qt_version)"
    return 1
  fi
  echo "$version"
}

# The source, unpacked with Debian's patches applied, into FOLDER.
unpack_qt_source() {
  local folder=$1 downloads=$cache/src/$qt_source
  if ! ls "$downloads"/*.dsc >/dev/null 2>&1; then
    mkdir -p "$downloads.part"
    (cd "$downloads.part" && apt_sources apt-get source --download-only "qt6-base=$qt_source" >/dev/null)
    rm -rf "$downloads" && mv "$downloads.part" "$downloads"
  fi
  dpkg-source --no-check -x "$downloads"/qt6-base_*.dsc "$folder" >/dev/null
}

# A static, release, minimal Qt: Core, Gui and Widgets with the Windows platform plugin and
# styles, accessibility, and Qt's bundled image and font libraries; nothing the program does
# not use. Its fonts come from DirectWrite, so FreeType is left out. Debian's repack drops
# wintab.h, so tablet events are off; and with OpenGL off, dynamic OpenGL has to be turned off
# by name, or the platform plugin does not compile. A unity build compiles a batch of source
# files as one, which halves the build's time; -Os makes it smaller.
build_qt() {
  local prefix=$1 work=$1.work
  rm -rf "$work" "$prefix"
  mkdir -p "$work"
  say "unpacking Debian's qtbase $qt_source, its patches applied"
  unpack_qt_source "$work/source"
  say "configuring Qt for Windows"
  cmake -S "$work/source" -B "$work/build" -G Ninja \
    -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_SYSTEM_PROCESSOR=x86_64 \
    -DCMAKE_C_COMPILER=x86_64-w64-mingw32-gcc-posix \
    -DCMAKE_CXX_COMPILER=x86_64-w64-mingw32-g++-posix \
    -DCMAKE_RC_COMPILER=x86_64-w64-mingw32-windres \
    -DCMAKE_FIND_ROOT_PATH=/usr/x86_64-w64-mingw32 \
    -DCMAKE_FIND_ROOT_PATH_MODE_PROGRAM=NEVER -DCMAKE_FIND_ROOT_PATH_MODE_LIBRARY=ONLY \
    -DCMAKE_FIND_ROOT_PATH_MODE_INCLUDE=ONLY -DCMAKE_FIND_ROOT_PATH_MODE_PACKAGE=ONLY \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DBUILD_SHARED_LIBS=OFF -DFEATURE_static_runtime=ON -DFEATURE_optimize_size=ON \
    -DQT_UNITY_BUILD=ON -DQT_GENERATE_SBOM=OFF \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DFEATURE_tabletevent=OFF \
    -DFEATURE_opengl=OFF -DFEATURE_dynamicgl=OFF -DFEATURE_vulkan=OFF -DFEATURE_dbus=OFF -DFEATURE_sql=OFF \
    -DFEATURE_network=OFF -DFEATURE_xml=OFF -DFEATURE_concurrent=OFF -DFEATURE_testlib=OFF \
    -DFEATURE_printsupport=OFF -DFEATURE_jpeg=OFF -DFEATURE_freetype=OFF -DFEATURE_zstd=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF \
    -DFEATURE_system_libpng=OFF -DFEATURE_system_doubleconversion=OFF \
    >"$work/configure.log" 2>&1 ||
    { tail -n 40 "$work/configure.log" >&2; return 1; }
  say "building Qt for Windows ($jobs jobs)"
  # Ninja's status lines, thinned out to one every hundred steps. The pipeline is the if's
  # condition, so that its failure reaches the handler rather than errexit.
  if ! cmake --build "$work/build" --parallel "$jobs" 2>&1 | tee "$work/build.log" |
    awk '/^\[[0-9]+\/[0-9]+\]/ { step = $1; gsub(/[][]/, "", step); split(step, n, "/"); if (n[1] % 100 == 0) print "windows: Qt step " n[1] " of " n[2] > "/dev/stderr"; fflush("/dev/stderr") }'; then
    grep -m5 -B2 -A10 'FAILED' "$work/build.log" >&2 || tail -n 40 "$work/build.log" >&2
    say "the Qt for Windows did not build: its log is $work/build.log"
    return 1
  fi
  cmake --install "$work/build" >/dev/null
  # The licence texts that go beside zelvax.exe, from the source it was built from.
  /usr/bin/python3 package/windows_notices.py "$work/source" "$prefix/licences" >&2
  echo "$qt_source" >"$prefix/licences/debian-source-version"
  rm -rf "$work"
  say "Qt for Windows built in $SECONDS s: $(du -sh "$prefix" | cut -f1) in $prefix"
}

# The compiler and the mingw-w64 runtime that the Qt is built with (and linked into zelvax.exe):
# an update of either builds a new Qt.
mingw_versions() {
  dpkg-query -W -f '${Package} ${Version}\n' g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
}

qt_prefix() {
  local key
  key=$( (declare -f build_qt unpack_qt_source; echo "$qt_source"; mingw_versions) |
    sha256sum | cut -c1-12)
  echo "$cache/qt-$qt_source-$key"
}

ensure_qt() {
  local prefix
  prefix=$(qt_prefix)
  # The version file is written last: a build that stopped short of it is built again.
  if [ ! -f "$prefix/licences/debian-source-version" ]; then
    build_qt "$prefix"
  fi
  echo "$prefix"
}

build=build/windows
dist=$build/dist
# A Wine prefix of the build's own, under the root's Wine, which reports a hang-up on a port
# as Windows does.
export WINEPREFIX=$PWD/$build/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
installed="$WINEPREFIX/drive_c/Program Files/ZELVAX"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\ZELVAX'

make_wine_prefix() {
  mkdir -p "$build"
  [ -f "$WINEPREFIX/system.reg" ] || { say "making a Wine prefix"; wineboot -i >/dev/null 2>&1; }
}

# One wine server for the build's tests and the install. When a pseudo-terminal behind a port
# closes, it gets a SIGHUP and writes thousands of lines: they go to a file.
start_wine() {
  make_wine_prefix
  wineserver -p 2>"$build/wineserver.log" &
  trap 'wineserver -k 2>/dev/null || true' EXIT
  # A Windows program waiting for a key that never comes keeps Wine's own services up
  # between programs; without it each test program pays their start, some three seconds.
  rm -f "$build/keepalive" && mkfifo "$build/keepalive"
  exec 3<>"$build/keepalive"
  wine cmd /c pause <&3 >/dev/null 2>&1 &
  exec 3>&-
  say "$(wine --version)"
}

# Signing: a PKCS#12 file with a code-signing certificate and its key, ZELVAX_SIGN_PKCS12, and
# a file with its password, ZELVAX_SIGN_PASSWORD_FILE; with --throwaway-certificate, one made
# here for the run. Without either the artefacts are built unsigned.
signing() {
  if [ "$throwaway_certificate" = 1 ]; then
    local folder=$build/signing
    rm -rf "$folder" && mkdir -p "$build" && mkdir -m 700 "$folder"
    openssl rand -hex 16 >"$folder/password"
    openssl req -x509 -newkey rsa:3072 -sha256 -days 7 -nodes -subj "/CN=ZELVAX throwaway" \
      -addext extendedKeyUsage=codeSigning -keyout "$folder/key.pem" -out "$folder/cert.pem" \
      2>/dev/null
    openssl pkcs12 -export -inkey "$folder/key.pem" -in "$folder/cert.pem" \
      -passout "file:$folder/password" -out "$folder/cert.p12"
    export ZELVAX_SIGN_PKCS12=$PWD/$folder/cert.p12 ZELVAX_SIGN_PASSWORD_FILE=$PWD/$folder/password
    say "signing with a throwaway certificate made for this run: not a release"
  elif [ -n "${ZELVAX_SIGN_PKCS12:-}" ]; then
    say "signing with the certificate in $ZELVAX_SIGN_PKCS12"
  else
    say "no certificate given (ZELVAX_SIGN_PKCS12): zelvax.exe, its installer and uninstaller are UNSIGNED"
  fi
}

# build_program [CMAKE OPTION...]
build_program() {
  say "building zelvax.exe"
  cmake --preset windows -DZELVAX_QT_WINDOWS="$qt" "$@" >/dev/null
  cmake --build --preset windows
  file "$build/zelvax.exe" >&2
  say "zelvax.exe: $(stat -c %s "$build/zelvax.exe") bytes, with these resources:"
  wrestool -l "$build/zelvax.exe" >&2
}

run_unit_tests() {
  say "the core's and the port's tests, as Windows programs under Wine"
  if ! ctest --preset windows >"$build/ctest.log" 2>&1; then
    tail -n 60 "$build/ctest.log" >&2
    return 1
  fi
  tail -n 3 "$build/ctest.log" >&2
}

# The installer and the zip, with every file's time the last commit's, so that two builds of
# one commit give the same bytes.
make_packages() {
  rm -rf "$dist"
  (cd "$build" && cpack -B "$PWD/dist" >/dev/null)
  rm -rf "$dist/_CPack_Packages"
  say "the stripped zelvax.exe: $(unzip -p "$dist/zelvax-$version-windows-x64.zip" '*/zelvax.exe' | wc -c) bytes"
  ls -l "$dist" >&2
}

# Each signed file verified against the certificate: the installer, and inside the zip the
# program; the uninstaller once it is installed.
verify_signature() {
  local file=$1
  [ -n "${ZELVAX_SIGN_PKCS12:-}" ] || return 0
  local chain=$build/signing/chain.pem
  mkdir -p "$build" && mkdir -p -m 700 "$build/signing"
  openssl pkcs12 -in "$ZELVAX_SIGN_PKCS12" -passin "file:$ZELVAX_SIGN_PASSWORD_FILE" -nokeys \
    -out "$chain" 2>/dev/null
  osslsigncode verify -CAfile "$chain" -in "$file" >"$build/verify.log" 2>&1 ||
    { cat "$build/verify.log" >&2; say "$(basename "$file") is not signed as it should be"; return 1; }
  say "$(basename "$file"): $(grep -m1 -E '^Signature verification' "$build/verify.log"), signed by" \
    "$(grep -m1 -E '^[[:space:]]*Subject:' "$build/verify.log" | sed 's/^[[:space:]]*Subject: *//')"
}

verify_packages() {
  verify_signature "$dist/zelvax-$version-windows-x64.exe"
  local unpacked=$build/unpacked
  rm -rf "$unpacked" && mkdir -p "$unpacked"
  unzip -q "$dist/zelvax-$version-windows-x64.zip" -d "$unpacked"
  verify_signature "$(find "$unpacked" -name zelvax.exe)"
}

registry_value() {
  wine reg query "$uninstall_key" /v "$1" 2>/dev/null | tr -d '\r' |
    awk -v name="$1" '$1 == name { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'
}

# The keys of the system's list of programs that are ZELVAX's.
program_entries() {
  wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' 2>/dev/null |
    tr -d '\r' | grep -i '\\zelvax[^\\]*$' || true
}

# What an installation leaves: its files with their checksums, and its entries among the
# programs with their values.
installation_state() {
  (cd "$installed" && find . -type f -print0 | sort -z | xargs -0 sha256sum)
  program_entries
  wine reg query "$uninstall_key" 2>/dev/null | tr -d '\r' | grep REG_ | sort
}

# The installer as an administrator's script runs it, silently; then the installed program
# goes through the end-to-end checks, and the uninstaller must leave nothing behind.
silent_install() {
  wine "$1" /S
  [ -f "$installed/zelvax.exe" ] || { say "the silent install left no zelvax.exe"; return 1; }
  [ "$(registry_value DisplayName)" = ZELVAX ] ||
    { say "the installer did not register ZELVAX as a program"; return 1; }
  say "installed silently: $(cd "$installed" && ls | tr '\n' ' ')"
}

# The simulated thermometer that the end-to-end checks put behind a port: a Linux program.
build_thermometer() {
  cmake --preset ci >/dev/null
  cmake --build --preset ci --target zelvax-thermometer >/dev/null
}

end_to_end() {
  local windows=$1
  # Wine's desktop takes the display of the program that starts it: a fresh start, on the
  # session's own X server.
  wineserver -k 2>/dev/null || true
  wineserver -w
  /usr/bin/python3 tests/e2e/end_to_end.py --wine --windows-version "$windows" \
    --app "$installed/zelvax.exe" --thermometer build/ci/tools/zelvax-thermometer --out "$build"
}

# The same tree with its version raised, built beside this one. A tree built ahead from the
# same files, Qt and time is used as it stands.
build_raised_tree() {
  local tree=$build/raised files stamp
  # The checkout's files as they stand: a tracked file deleted from the work tree is gone.
  mapfile -d '' files < <(git ls-files -z --cached --others --exclude-standard | sort -z |
    while IFS= read -r -d '' file; do
      if [ -e "$file" ] || [ -L "$file" ]; then printf '%s\0' "$file"; fi
    done)
  stamp=$( (sha256sum "${files[@]}" && echo "$qt $SOURCE_DATE_EPOCH") | sha256sum | cut -c1-16)
  [ "$(cat "$tree.built" 2>/dev/null)" = "$stamp" ] && return 0
  rm -rf "$tree" "$tree.built" && mkdir -p "$tree"
  cp --parents -t "$tree" "${files[@]}"
  {
    echo "zelvax ($version.1) unstable; urgency=medium"
    echo
    echo "  * The same program, its version raised to try an upgrade in place."
    echo
    echo " -- ZELVAX developers <zelvax@zelvax.invalid>  $(date -R -d "@$SOURCE_DATE_EPOCH")"
    echo
    cat package/changelog
  } >"$tree/package/changelog"
  (cd "$tree" && cmake --preset windows -DZELVAX_QT_WINDOWS="$qt" -DBUILD_TESTING=OFF >/dev/null &&
    cmake --build --preset windows >/dev/null)
  echo "$stamp" >"$tree.built"
}

# Its installer, signed as this one's.
raised_installer() {
  build_raised_tree
  local built=$build/raised/build/windows
  rm -rf "$built/dist"
  (cd "$built" && cpack -B "$PWD/dist" >/dev/null)
  echo "$built/dist/zelvax-$version.1-windows-x64.exe"
}

# The files of a zip, without its top folder, with their checksums.
zip_files() {
  local unpacked
  unpacked=$(mktemp -d)
  unzip -q "$1" -d "$unpacked"
  (cd "$unpacked"/*/ && find . -type f -print0 | sort -z | xargs -0 sha256sum)
  rm -rf "$unpacked"
}

# Version X over X-1: one entry among the programs, of version X, under the same key, with
# X's files alone, the very ones of its zip; the same installer once more changes nothing.
upgrade_in_place() {
  local raised=$version.1 raised_exe after
  raised_exe=$(raised_installer)
  say "upgrading in place: $raised over $version"
  silent_install "$raised_exe"
  after=$(installation_state)
  echo "$after" | grep -v '^[0-9a-f]\{64\} ' | sed 's/^ */  /' >&2
  [ "$(registry_value DisplayVersion)" = "$raised" ] ||
    { say "DisplayVersion is $(registry_value DisplayVersion), not $raised"; return 1; }
  [ "$(program_entries | wc -l)" = 1 ] ||
    { say "not exactly one ZELVAX among the programs: $(program_entries)"; return 1; }
  for name in Publisher UninstallString QuietUninstallString DisplayIcon; do
    [ -n "$(registry_value "$name")" ] || { say "the entry has no $name"; return 1; }
  done
  # Installed, the zip's files and the uninstaller.
  diff <(zip_files "${raised_exe%.exe}.zip") \
    <(echo "$after" | grep '^[0-9a-f]\{64\} ' | grep -v ' \./Uninstall\.exe$') >&2 ||
    { say "the installed files are not $raised's"; return 1; }
  echo "$after" | awk '/^[0-9a-f]{64} / { print "  " $2 }' >&2
  wine "$raised_exe" /S
  [ "$(installation_state)" = "$after" ] ||
    { say "installing $raised a second time changed the installation"; return 1; }
  say "upgraded in place: one entry, version $raised, its files alone; installed again, nothing changed"
}

silent_uninstall() {
  # The uninstaller copies itself away and finishes in the background.
  wine "$installed/Uninstall.exe" /S
  local waited=0
  while [ -e "$installed" ] && [ $waited -lt 30 ]; do sleep 1; waited=$((waited + 1)); done
  [ ! -e "$installed" ] || { say "the silent uninstall left $(ls "$installed")"; return 1; }
  if wine reg query "$uninstall_key" >/dev/null 2>&1; then
    say "the uninstaller left its registry entry"
    return 1
  fi
  say "uninstalled silently: nothing is left"
}

step=all throwaway_certificate=0
for argument in "$@"; do
  case "$argument" in
    qt | prepare | packages) step=$argument ;;
    --throwaway-certificate) throwaway_certificate=1 ;;
    *) echo "usage: scripts/windows.sh [qt|prepare|packages] [--throwaway-certificate]" >&2 && exit 2 ;;
  esac
done
install_tools
qt_source=$(qt_source_version)
qt=$(ensure_qt)
say "Qt for Windows: Qt $(host_qt_version) from Debian's qtbase $qt_source, in $qt"
[ "$step" = qt ] && exit 0

version=$(zelvax_version)
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(last_commit_time)}
export SOURCE_DATE_EPOCH
# What the checks need, made ahead: the Wine prefix, zelvax.exe and its tests, the
# thermometer, the raised version. A later full run finds them up to date and goes straight
# to the checks.
if [ "$step" = prepare ]; then
  make_wine_prefix
  wineserver -w
  build_program -DBUILD_TESTING=ON
  build_thermometer
  build_raised_tree
  say "prepared in $SECONDS s: the Wine prefix, zelvax.exe and its tests, the thermometer, the raised version"
  exit 0
fi
signing
if [ "$step" = packages ]; then
  # The compiler's output goes to the log, its errors with it.
  build_program -DBUILD_TESTING=OFF >&2
  make_packages
  exit 0
fi
start_wine
build_program -DBUILD_TESTING=ON
run_unit_tests
make_packages
verify_packages
silent_install "$dist/zelvax-$version-windows-x64.exe"
verify_signature "$installed/Uninstall.exe"
build_thermometer
end_to_end win10
end_to_end win11
upgrade_in_place
silent_uninstall
say "all done in $SECONDS s: $(cd "$dist" && ls | tr '\n' ' ')"
