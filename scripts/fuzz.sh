#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time (FUZZ_SECONDS,
# 30 by default) from the committed seed corpus. New inputs found go to a scratch folder,
# so the committed corpus only changes by hand.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-30}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

for target in numeric_value reading_handler; do
  scratch=$(mktemp -d)
  echo "== fuzz_$target for ${seconds}s" >&2
  status=0
  ASAN_OPTIONS=detect_leaks=0 build/fuzz/fuzz/fuzz_$target -max_total_time="$seconds" \
    -max_len=4096 -print_final_stats=1 "$scratch" "fuzz/corpus/$target" >"$scratch.log" 2>&1 ||
    status=$?
  grep -E '^(stat::number_of_executed_units|==[0-9]+==|SUMMARY|artifact)' "$scratch.log" || true
  [ "$status" -eq 0 ] || tail -n 40 "$scratch.log" >&2
  rm -f "$scratch.log"
  rm -rf "$scratch"
  [ "$status" -eq 0 ] || { echo "fuzz_$target failed" >&2; exit "$status"; }
done
