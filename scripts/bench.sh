#!/usr/bin/env bash
# Builds the optimised program and the floor, then measures both side by side and writes
# bench/results.md (about ten minutes; --quick for a short look).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset bench >/dev/null
cmake --build --preset bench
exec /usr/bin/python3 bench/run.py --build build/bench "$@"
