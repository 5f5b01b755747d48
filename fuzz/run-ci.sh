#!/usr/bin/env bash
# Runs every fuzz target of a built fuzz folder for a bounded time from its
# seed corpus; fails on the first crash, leak, timeout or sanitizer report.
# Usage: fuzz/run-ci.sh BUILD_DIR SECONDS
set -euo pipefail
build=$(realpath "${1:?usage: run-ci.sh BUILD_DIR SECONDS}")
seconds=${2:?usage: run-ci.sh BUILD_DIR SECONDS}
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

for target in probe_fuzzer ini_fuzzer options_fuzzer mask_fuzzer transcode_fuzzer jump_rule_fuzzer; do
  work="$build/ci-corpus/$target" findings="$build/ci-findings/$target"
  rm -rf "$work" "$findings"
  mkdir -p "$work" "$findings"
  extra=()
  # Each ini read parses the whole file again, so its inputs are kept small.
  case $target in
    probe_fuzzer | transcode_fuzzer) extra=(-max_len=65536 -rss_limit_mb=2048 -timeout=20) ;;
    ini_fuzzer) extra=(-max_len=4096) ;;
  esac
  echo "-- $target"
  "$build/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 \
    -dict="$build/fuzz/$target.dict" -artifact_prefix="$findings/" "${extra[@]}" \
    "$work" "$build/fuzz/corpus/$target" 2>"$build/ci-$target.log" ||
    { tail -60 "$build/ci-$target.log"; echo "$target failed; input in $findings"; exit 1; }
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec)' "$build/ci-$target.log"
done
