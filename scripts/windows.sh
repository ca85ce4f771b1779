#!/usr/bin/env bash
# The Windows build: zelvax.exe cross-built with mingw-w64 against a static Qt for Windows,
# which this script builds from Debian's own qtbase source, the core's tests and the program
# itself run under Wine, then an installer and a portable zip.
#
#   scripts/windows.sh          all of it; the installer and the zip go to build/windows/dist
#   scripts/windows.sh qt       only the Qt for Windows (cached; free when the cache has it)
#
# The Qt build takes about half an hour on two cores the first time. It is kept under
# ~/.cache/zelvax-qt-windows (or $ZELVAX_QT_WINDOWS_CACHE), named by a hash of the function
# that builds it, so a change of its options builds a new one and nothing else does.
set -euo pipefail
# Failures inside $(...) stop the script too.
shopt -s inherit_errexit
cd "$(dirname "$0")/.."
source scripts/releases.sh
SECONDS=0

# Qt's generators (moc, uic, rcc) are the host's: the Qt for Windows must be the same version.
qt_version=6.4.2
qt_tarball=qt6-base_${qt_version}+dfsg.orig.tar.xz
qt_sha256=4f14b89a9463a540fd84a6718b8519a2297119b454ef547721015a9e9019ae9e
cache=${ZELVAX_QT_WINDOWS_CACHE:-$HOME/.cache/zelvax-qt-windows}
jobs=$(nproc)

say() { echo "windows: $*" >&2; }

install_tools() {
  scripts/install-deps.sh
  scripts/install-deps.sh --only g++-mingw-w64-x86-64-posix icoutils nsis wine wine64 xclip
}

host_qt_version() {
  /usr/lib/qt6/bin/qtpaths6 --query QT_VERSION 2>/dev/null || echo none
}

fetch_qt_source() {
  local tarball=$cache/src/$qt_tarball
  if ! echo "$qt_sha256  $tarball" | sha256sum --check --status 2>/dev/null; then
    mkdir -p "$cache/src"
    # From the archive this machine's apt uses, a local mirror or proxy included.
    local archive
    archive=$(debian_archive)
    say "downloading $qt_tarball from $archive"
    curl -sSf -o "$tarball.part" "$archive/pool/main/q/qt6-base/$qt_tarball"
    echo "$qt_sha256  $tarball.part" | sha256sum --check --status ||
      { say "$qt_tarball does not have the expected checksum"; return 1; }
    mv "$tarball.part" "$tarball"
  fi
  echo "$tarball"
}

# A static, release, minimal Qt: Core, Gui and Widgets with the Windows platform plugin and
# style, accessibility, and Qt's bundled image and font libraries; nothing the program does
# not use. Debian's repack drops wintab.h, so tablet events are off; and with OpenGL off,
# dynamic OpenGL has to be turned off by name, or the platform plugin does not compile.
build_qt() {
  local prefix=$1 work=$1.work
  local tarball
  tarball=$(fetch_qt_source)
  rm -rf "$work" "$prefix"
  mkdir -p "$work"
  say "unpacking Qt $qt_version"
  tar -xf "$tarball" -C "$work"
  local source
  source=$(find "$work" -mindepth 1 -maxdepth 1 -type d | head -n1)
  say "configuring Qt $qt_version for Windows"
  cmake -S "$source" -B "$work/build" -G Ninja \
    -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_SYSTEM_PROCESSOR=x86_64 \
    -DCMAKE_C_COMPILER=x86_64-w64-mingw32-gcc-posix \
    -DCMAKE_CXX_COMPILER=x86_64-w64-mingw32-g++-posix \
    -DCMAKE_RC_COMPILER=x86_64-w64-mingw32-windres \
    -DCMAKE_FIND_ROOT_PATH=/usr/x86_64-w64-mingw32 \
    -DCMAKE_FIND_ROOT_PATH_MODE_PROGRAM=NEVER -DCMAKE_FIND_ROOT_PATH_MODE_LIBRARY=ONLY \
    -DCMAKE_FIND_ROOT_PATH_MODE_INCLUDE=ONLY -DCMAKE_FIND_ROOT_PATH_MODE_PACKAGE=ONLY \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DBUILD_SHARED_LIBS=OFF -DFEATURE_static_runtime=ON \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DFEATURE_tabletevent=OFF \
    -DFEATURE_opengl=OFF -DFEATURE_dynamicgl=OFF -DFEATURE_vulkan=OFF -DFEATURE_dbus=OFF -DFEATURE_sql=OFF \
    -DFEATURE_network=OFF -DFEATURE_xml=OFF -DFEATURE_concurrent=OFF -DFEATURE_testlib=OFF \
    -DFEATURE_printsupport=OFF -DFEATURE_jpeg=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF \
    -DFEATURE_system_freetype=OFF -DFEATURE_system_libpng=OFF \
    -DFEATURE_system_doubleconversion=OFF >"$work/configure.log" 2>&1 ||
    { tail -n 40 "$work/configure.log" >&2; return 1; }
  say "building Qt $qt_version for Windows ($jobs jobs; about 20 minutes on two cores)"
  # Ninja's status lines, thinned out to one every hundred steps.
  cmake --build "$work/build" --parallel "$jobs" 2>&1 | tee "$work/build.log" |
    awk '/^\[[0-9]+\/[0-9]+\]/ { step = $1; gsub(/[][]/, "", step); split(step, n, "/"); if (n[1] % 100 == 0) print "windows: Qt step " n[1] " of " n[2] > "/dev/stderr"; fflush("/dev/stderr") }'
  [ "${PIPESTATUS[0]}" -eq 0 ] || { grep -m5 -B2 -A10 'FAILED' "$work/build.log" >&2; return 1; }
  cmake --install "$work/build" >/dev/null
  rm -rf "$work"
  say "Qt for Windows built in $SECONDS s: $(du -sh "$prefix" | cut -f1) in $prefix"
}

qt_prefix() {
  local key
  key=$( (declare -f build_qt; echo "$qt_version $qt_sha256") |
    sha256sum | cut -c1-12)
  echo "$cache/qt-$qt_version-$key"
}

# The licence texts that go beside zelvax.exe for the Qt linked into it, from Qt's source.
ensure_qt_licences() {
  [ -f "$qt/licences/Qt-third-party.txt" ] && return 0
  /usr/bin/python3 package/windows_notices.py "$(fetch_qt_source)" "$qt/licences" >&2
}

ensure_qt() {
  local host
  host=$(host_qt_version)
  if [ "$host" != "$qt_version" ]; then
    say "the host's Qt is $host; the Windows build needs the host's generators of Qt $qt_version (Debian 12)"
    return 1
  fi
  local prefix
  prefix=$(qt_prefix)
  if [ ! -f "$prefix/lib/cmake/Qt6/Qt6Config.cmake" ]; then
    build_qt "$prefix"
  fi
  echo "$prefix"
}

build=build/windows
dist=$build/dist
# A Wine prefix of the build's own. Debian 12's Wine 8 serves: the port is polled and never
# waits on comm events, which Wine 8 cancels on a pseudo-terminal (it has no modem lines).
export WINEPREFIX=$PWD/$build/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
installed="$WINEPREFIX/drive_c/Program Files/ZELVAX"

# One wine server for the build's tests and the install. When a pseudo-terminal behind a port
# closes, it gets a SIGHUP and writes thousands of lines: they go to a file.
start_wine() {
  mkdir -p "$build"
  [ -f "$WINEPREFIX/system.reg" ] || { say "making a Wine prefix"; wineboot -i >/dev/null 2>&1; }
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

build_program() {
  say "building zelvax.exe"
  cmake --preset windows -DZELVAX_QT_WINDOWS="$qt" >/dev/null
  cmake --build --preset windows
  file "$build/zelvax.exe" >&2
  say "zelvax.exe: $(stat -c %s "$build/zelvax.exe") bytes, with these resources:"
  wrestool -l "$build/zelvax.exe" >&2
}

run_unit_tests() {
  say "the core's tests, as Windows programs under Wine"
  if ! ctest --preset windows >"$build/ctest.log" 2>&1; then
    tail -n 60 "$build/ctest.log" >&2
    return 1
  fi
  tail -n 3 "$build/ctest.log" >&2
}

make_packages() {
  rm -rf "$dist"
  (cd "$build" && cpack -B "$PWD/dist" >/dev/null)
  rm -rf "$dist/_CPack_Packages"
  ls -l "$dist" >&2
}

# The installer as an administrator's script runs it, silently; then the installed program
# goes through the end-to-end checks, and the uninstaller must leave nothing behind.
silent_install() {
  wine "$dist/zelvax-$version-windows-x64.exe" /S
  [ -f "$installed/zelvax.exe" ] || { say "the silent install left no zelvax.exe"; return 1; }
  wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\ZELVAX' /v DisplayName |
    grep -q ZELVAX || { say "the installer did not register ZELVAX as a program"; return 1; }
  say "installed silently: $(cd "$installed" && ls | tr '\n' ' ')"
}

end_to_end() {
  # Wine's desktop takes the display of the program that starts it: a fresh start, on the
  # session's own X server.
  wineserver -k 2>/dev/null || true
  wineserver -w
  cmake --preset ci >/dev/null
  cmake --build --preset ci --target zelvax-thermometer >/dev/null
  /usr/bin/python3 tests/e2e/end_to_end.py --wine --app "$installed/zelvax.exe" \
    --thermometer build/ci/tools/zelvax-thermometer --out "$build"
}

silent_uninstall() {
  # The uninstaller copies itself away and finishes in the background.
  wine "$installed/Uninstall.exe" /S
  local waited=0
  while [ -e "$installed" ] && [ $waited -lt 30 ]; do sleep 1; waited=$((waited + 1)); done
  [ ! -e "$installed" ] || { say "the silent uninstall left $(ls "$installed")"; return 1; }
  if wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\ZELVAX' >/dev/null 2>&1; then
    say "the uninstaller left its registry entry"
    return 1
  fi
  say "uninstalled silently: nothing is left"
}

install_tools
qt=$(ensure_qt)
say "Qt for Windows: $qt"
ensure_qt_licences
[ "${1:-}" = qt ] && exit 0

version=$(zelvax_version)
start_wine
build_program
run_unit_tests
make_packages
silent_install
end_to_end
silent_uninstall
say "all done in $SECONDS s: $(cd "$dist" && ls | tr '\n' ' ')"
