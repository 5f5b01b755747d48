#!/usr/bin/env bash
# A long fuzzing campaign over the targets of build/fuzz, two jobs at a time
# per target, one target after another.
# Usage: fuzz/run-long.sh [-t SECONDS | -n RUNS] [TARGET...]
#   -t SECONDS  time per target (default 3600)
#   -n RUNS     executions per target, shared by the two jobs
# Targets: probe_fuzzer ini_fuzzer options_fuzzer mask_fuzzer (default all).
# Findings land in build/fuzz/findings/<target>/; logs in build/fuzz/logs/.
set -euo pipefail
cd "$(dirname "$0")/.."

limit=(-max_total_time=3600)
while getopts "t:n:" flag; do
  case $flag in
    t) limit=(-max_total_time="$OPTARG") ;;
    n) limit=(-runs=$(((OPTARG + 1) / 2))) ;;
    *) sed -n '2,9p' "$0"; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(probe_fuzzer ini_fuzzer options_fuzzer mask_fuzzer)

build=build/fuzz
if [ ! -x "$build/fuzz/mask_fuzzer" ]; then
  CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DMOSKVID_FUZZ=ON -DMOSKVID_TESTS=OFF
fi
cmake --build "$build" -j2 --target fuzz

status=0
for target in "${targets[@]}"; do
  corpus="$build/work-corpus/$target" findings="$build/findings/$target" logs="$build/logs/$target"
  mkdir -p "$corpus" "$findings" "$logs"
  extra=()
  # Each ini read parses the whole file again, so its inputs are kept small.
  case $target in
    probe_fuzzer) extra=(-max_len=65536 -rss_limit_mb=2048 -timeout=20) ;;
    ini_fuzzer) extra=(-max_len=4096) ;;
  esac
  echo "== $target ${limit[*]}"
  (cd "$logs" && "$OLDPWD/$build/fuzz/$target" -jobs=2 -workers=2 "${limit[@]}" \
    -dict="$OLDPWD/$build/fuzz/$target.dict" -artifact_prefix="$OLDPWD/$findings/" \
    "${extra[@]}" "$OLDPWD/$corpus" "$OLDPWD/$build/fuzz/corpus/$target") || status=1
  runs=$(grep -ho 'Done [0-9]* runs' "$logs"/fuzz-*.log | awk '{s += $2} END {print s + 0}')
  echo "$target: $runs executions; findings: $(ls "$findings" | wc -l)"
done
exit $status
