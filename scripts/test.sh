#!/usr/bin/env bash
# Builds the project with warnings as errors and runs every test, checks the Debian package,
# then runs the same suite under AddressSanitizer and UndefinedBehaviorSanitizer and the
# fuzzers for a bounded time. Installs what it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/check-format.sh

run_preset() {
  local preset=$1
  echo "== $preset: configure and build" >&2
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  echo "== $preset: tests" >&2
  # An ordinary user's superuser test runs through sudo (tests/superuser.sh), which asks for
  # the password here, before the suite, rather than failing in its middle.
  [ "$(id -u)" -eq 0 ] || sudo -n true 2>/dev/null || sudo -v
  ctest --preset "$preset"
}

run_preset ci
# The same build on real kernel serial drivers, a USB adapter and a UART, in virtual machines.
if [ "${ZELVAX_SKIP_VM:-0}" != 1 ]; then
  scripts/vm-test.sh build/ci
fi
# The package, checked with Debian's own tools; nothing is installed.
scripts/package.sh
if [ "${ZELVAX_SKIP_SANITIZERS:-0}" != 1 ]; then
  run_preset asan
fi

# The parser and the reading handler under libFuzzer, for a bounded time.
if [ "${ZELVAX_SKIP_FUZZ:-0}" != 1 ]; then
  scripts/fuzz.sh
fi
