#!/usr/bin/env bash
# Converts a standard clip (1080p H.264 + AAC, 60 s, made here) with
# `moskvid-cli transcode` and with the ffmpeg command-line tool using the same
# codecs, size, rate and bit rates, alternately, and prints the median wall
# times, their ratio and the peak memory of each.
# Usage: bench/transcode_bench.sh [RUNS] [BUILD_DIR]
set -euo pipefail
RUNS=${1:-3}
BUILD=${2:-build/release}
runs=$RUNS
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"

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

mo=$(median "${ours[@]}"); mf=$(median "${theirs[@]}")
po=$(median "${ours_mem[@]}"); pf=$(median "${theirs_mem[@]}")
echo "median wall time: moskvid ${mo} s, ffmpeg ${mf} s, ratio ffmpeg/moskvid $(ratio "$mf" "$mo")"
echo "median peak memory: moskvid ${po} KB, ffmpeg ${pf} KB, ratio moskvid/ffmpeg $(ratio "$po" "$pf")"
