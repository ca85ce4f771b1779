#!/usr/bin/env bash
# Builds the program, starts the simulated thermometer on a pseudo-terminal mapped to COM1
# and opens the window. Pick "  9600,N,8,1 - COM1" from the "Linka" menu to see readings.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target zelvax zelvax-thermometer >/dev/null

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

build/tools/zelvax-thermometer --link "$work/com1" --baud 9600 --interval 1000 >/dev/null &
pids+=($!)
for _ in $(seq 50); do [ -e "$work/com1" ] && break; sleep 0.1; done

ZELVAX_COM1="$work/com1" build/app/zelvax
