#!/bin/sh
# Runs one end-to-end session (tests/e2e/end_to_end.py) on a session bus of its own, when this
# machine has what that session needs: a distribution's build machine often has no display
# stack or screen reader. Without it the session is skipped (exit 77, CTest's skip) with one
# line naming what is missing; under ZELVAX_REQUIRE_ALL_TESTS=1, as in the project's own test
# command, it fails instead.
#
#   session.sh x11|wayland|screen-reader END_TO_END_ARGUMENTS...
kind=$1
shift
case $kind in
  x11) needs="Xvfb xdotool xwd xwdtopnm pnmtopng" ;;
  wayland) needs="weston"; set -- "$@" --platform wayland ;;
  screen-reader) needs="Xvfb xdotool orca openbox"; set -- "$@" --screen-reader ;;
  *) echo "usage: session.sh x11|wayland|screen-reader ARGUMENTS..." >&2; exit 2 ;;
esac
# The system's Python, which has the system's accessibility binding (not a Python of PATH's).
python=/usr/bin/python3
missing=""
[ -x "$python" ] || missing=" $python"
for command in dbus-run-session $needs; do
  command -v "$command" >/dev/null 2>&1 || missing="$missing $command"
done
# The accessibility bus and its Python binding read and drive the window.
[ -x /usr/libexec/at-spi-bus-launcher ] || missing="$missing at-spi-bus-launcher"
if [ -x "$python" ] && ! "$python" -c 'import pyatspi' 2>/dev/null; then
  missing="$missing pyatspi"
fi
# Qt's Wayland platform plugin: libqwayland-generic.so up to Qt 6.9, libqwayland.so from 6.10.
if [ "$kind" = wayland ]; then
  plugin=""
  for file in /usr/lib/*/qt6/plugins/platforms/libqwayland*.so \
    /usr/lib/qt6/plugins/platforms/libqwayland*.so; do
    [ -e "$file" ] && plugin=$file
  done
  [ -n "$plugin" ] || missing="$missing qt6-wayland"
fi
if [ -n "$missing" ]; then
  if [ "${ZELVAX_REQUIRE_ALL_TESTS:-0}" = 1 ]; then
    echo "missing:$missing (ZELVAX_REQUIRE_ALL_TESTS=1)"
    exit 1
  fi
  echo "skipped: needs$missing"
  exit 77
fi
exec dbus-run-session -- "$python" "$(dirname "$0")/end_to_end.py" "$@"
