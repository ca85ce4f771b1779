#!/usr/bin/env bash
# Fails when a C++ file differs from what clang-format makes of it.
set -euo pipefail
cd "$(dirname "$0")/.."
# Without git (a source tarball), every source file outside the build folders.
mapfile -t files < <(git ls-files -- '*.cpp' '*.h' 2>/dev/null ||
  find . -path ./build -prune -o -path ./dist -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
[ ${#files[@]} -eq 0 ] && exit 0
clang-format --dry-run --Werror "${files[@]}"
