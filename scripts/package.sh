#!/usr/bin/env bash
# Builds the optimised program and its Debian package, build/release/zelvax_<version>_amd64.deb.
# Install it with: sudo apt-get install ./build/release/zelvax_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target package
