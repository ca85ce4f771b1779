#!/usr/bin/env bash
# Builds the program, starts the simulated thermometer on a pseudo-terminal mapped to COM1
# and opens the window: pick "  9600,N,8,1 - COM1" from the "Linka" menu to see readings.
# Without a display, it runs the same on a private X server, picks the line as a scripted
# user, prints the caption as readings arrive and saves a screenshot.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target zelvax zelvax-thermometer >/dev/null

if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  exec /usr/bin/python3 scripts/demo_headless.py build/app/zelvax \
    build/tools/zelvax-thermometer "$PWD/build/demo-screenshot.png"
fi

work=$(mktemp -d)
thermometer=
cleanup() {
  [ -n "$thermometer" ] && kill "$thermometer" 2>/dev/null
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

build/tools/zelvax-thermometer --link "$work/com1" --baud 9600 --interval 1000 >/dev/null &
thermometer=$!
for _ in $(seq 50); do [ -e "$work/com1" ] && break; sleep 0.1; done

echo "Pick \"  9600,N,8,1 - COM1\" from the \"Linka\" menu." >&2
ZELVAX_COM1="$work/com1" build/app/zelvax
