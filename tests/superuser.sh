#!/bin/sh
# Runs the superuser's tests as the superuser: as they are for root, and through sudo for an
# ordinary user when the project's own test command asks for every test
# (ZELVAX_REQUIRE_ALL_TESTS=1), which has sudo ask for its password once beforehand. sudo -n
# never waits for a password that nobody can type here. Otherwise (a distribution's build
# machine, a plain ctest) the tests skip, or fail under that setting, naming what they need.
#
#   superuser.sh TEST_PROGRAM [ARGUMENT...]
if [ "$(id -u)" -ne 0 ] && [ "${ZELVAX_REQUIRE_ALL_TESTS:-0}" = 1 ]; then
  if command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
    exec sudo -n --preserve-env=ZELVAX_REQUIRE_ALL_TESTS "$@"
  fi
  echo "superuser.sh: sudo -n could not run these tests as the superuser: run sudo -v first, or the tests as root"
fi
exec "$@"
