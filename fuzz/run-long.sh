#!/usr/bin/env bash
# A long fuzzing campaign over the targets of a fuzz build, a few fuzzing
# processes per target, one target after another. A finding does not end the
# campaign: its input is kept and fuzzing goes on.
# Usage: fuzz/run-long.sh [-t SECONDS | -n RUNS] [-j JOBS] [-b BUILD] [TARGET...]
#   -t SECONDS  time per target (default 3600)
#   -n RUNS     executions per target, shared by the processes
#   -j JOBS     fuzzing processes per target (default 2)
#   -b BUILD    a built fuzz folder to run as it is (a copy, so that rebuilds
#               of build/fuzz do not disturb a running campaign); without it
#               build/fuzz is configured and built first
# Targets: probe_fuzzer ini_fuzzer options_fuzzer mask_fuzzer transcode_fuzzer jump_rule_fuzzer
# (default all). Findings land in BUILD/findings/<target>/, the log in
# BUILD/logs/<target>/campaign.log.
set -euo pipefail
cd "$(dirname "$0")/.."

limit=(-max_total_time=3600)
jobs=2
build=
while getopts "t:n:j:b:" flag; do
  case $flag in
    t) limit=(-max_total_time="$OPTARG") ;;
    n) runs=$OPTARG ;;
    j) jobs=$OPTARG ;;
    b) build=$(realpath "$OPTARG") ;;
    *) sed -n '2,13p' "$0"; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
[ -z "${runs:-}" ] || limit=(-runs="$runs")
targets=("$@")
[ ${#targets[@]} -gt 0 ] ||
  targets=(probe_fuzzer ini_fuzzer options_fuzzer mask_fuzzer transcode_fuzzer jump_rule_fuzzer)

if [ -z "$build" ]; then
  build=$PWD/build/fuzz
  if [ ! -x "$build/fuzz/transcode_fuzzer" ]; then
    CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DMOSKVID_FUZZ=ON -DMOSKVID_TESTS=OFF
  fi
  cmake --build "$build" -j2 --target fuzz
fi

status=0
for target in "${targets[@]}"; do
  corpus="$build/work-corpus/$target" findings="$build/findings/$target" logs="$build/logs/$target"
  mkdir -p "$corpus" "$findings" "$logs"
  extra=()
  # Each ini read parses the whole file again, so its inputs are kept small.
  case $target in
    probe_fuzzer | transcode_fuzzer) extra=(-max_len=65536 -rss_limit_mb=2048 -timeout=20) ;;
    ini_fuzzer) extra=(-max_len=4096) ;;
  esac
  echo "== $target ${limit[*]}"
  "$build/fuzz/$target" -fork="$jobs" -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
    "${limit[@]}" -dict="$build/fuzz/$target.dict" -artifact_prefix="$findings/" \
    "${extra[@]}" "$corpus" "$build/fuzz/corpus/$target" >"$logs/campaign.log" 2>&1 || status=1
  runs=$(grep -o '^#[0-9]*' "$logs/campaign.log" | tail -1 | tr -d '#')
  echo "$target: ${runs:-0} executions; findings: $(ls "$findings" | wc -l)"
done
exit $status
