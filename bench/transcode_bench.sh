#!/usr/bin/env bash
# Converts a standard clip (1080p H.264 + AAC, 60 s, made here) with
# `moskvid-cli transcode` and with the ffmpeg command-line tool using the same
# codecs, size, rate and bit rates, alternately, and prints the median wall
# times, their ratio and the peak memory of each.
# Usage: bench/transcode_bench.sh [RUNS] [BUILD_DIR]
set -euo pipefail
runs=${1:-3}
build=${2:-build/release}
here=$(cd "$(dirname "$0")/.." && pwd)
cli="$here/$build/bin/moskvid-cli"
work=${BENCH_DIR:-/tmp/moskvid-bench}
mkdir -p "$work"
command -v /usr/bin/time >/dev/null || { echo "needs /usr/bin/time (apt-get install time)"; exit 1; }
[ -x "$cli" ] || { echo "build first: cmake -S . -B $build -DCMAKE_BUILD_TYPE=Release && cmake --build $build"; exit 1; }

clip="$work/clip_1080p_60s.mp4"
if [ ! -f "$clip" ]; then
  ffmpeg -v error -y -f lavfi -i "testsrc2=size=1920x1080:rate=30:duration=60" \
    -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=60" \
    -c:v libx264 -preset fast -b:v 8M -pix_fmt yuv420p -c:a aac -b:a 192k -ac 2 "$clip"
fi

# One run: prints "seconds kilobytes".
measure() {
  local log="$work/time.txt"
  /usr/bin/time -f "%e %M" -o "$log" "$@" >/dev/null 2>&1
  cat "$log"
}

ours=() theirs=() ours_mem=() theirs_mem=()
for ((i = 1; i <= runs; i++)); do
  read -r t m < <(measure "$cli" transcode --threads 0 "$clip" --out vcodec=libx264 \
    --out b=4000000 --out acodec=aac --out ab=128000 --out ar=48000 --out ac=2 "$work/ours.mp4")
  ours+=("$t"); ours_mem+=("$m")
  read -r t m < <(measure ffmpeg -nostdin -y -threads 0 -i "$clip" -c:v libx264 -b:v 4M \
    -c:a aac -b:a 128k -ar 48000 -ac 2 "$work/theirs.mp4")
  theirs+=("$t"); theirs_mem+=("$m")
  echo "run $i: moskvid ${ours[-1]} s ${ours_mem[-1]} KB, ffmpeg ${theirs[-1]} s ${theirs_mem[-1]} KB"
done

median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
mo=$(median "${ours[@]}"); mf=$(median "${theirs[@]}")
po=$(median "${ours_mem[@]}"); pf=$(median "${theirs_mem[@]}")
echo "median wall time: moskvid ${mo} s, ffmpeg ${mf} s, ratio ffmpeg/moskvid $(awk -v a="$mf" -v b="$mo" 'BEGIN{printf "%.3f", a/b}')"
echo "median peak memory: moskvid ${po} KB, ffmpeg ${pf} KB, ratio moskvid/ffmpeg $(awk -v a="$po" -v b="$pf" 'BEGIN{printf "%.3f", a/b}')"
