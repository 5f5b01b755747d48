#!/usr/bin/env bash
# `moskvid-cli convert` against the ffmpeg command-line tool doing the same
# job (same codecs, sizes, rates, bit rates and threads), alternately, for
# four formats. Prints median wall times, their ratio and peak memory.
# Usage: bench/convert_bench.sh [RUNS] [BUILD_DIR]
set -euo pipefail
RUNS=${1:-3}
BUILD=${2:-build/release}
runs=$RUNS
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"

export MOSKVID_CONFIG="$work/moskvid.ini"  # the shipped defaults, nothing stored


# The ffmpeg tool's arguments for the job each format's defaults make of a
# 1920x1080 source (letter box into the target size).
ffmpeg_job() {
  case "$1" in
    5) echo "-vf scale=320:180:flags=bicubic,pad=320:240:0:30 -r 30000/1001 -c:v mpeg4 -b:v 512k
             -pix_fmt yuv420p -c:a aac -b:a 128k -ar 48000 -ac 2 -f psp" ;;
    2) echo "-vf scale=1280:720:flags=bicubic -r 30000/1001 -c:v mpeg4 -b:v 4000k -pix_fmt yuv420p
             -c:a aac -b:a 160k -ar 48000 -ac 2" ;;
    7) echo "-vf scale=480:272:flags=bicubic -r 30000/1001 -c:v libx264 -b:v 768k -maxrate 1500k
             -bufsize 2000k -level 21 -profile:v main -coder 1 -g 250 -flags +bitexact
             -pix_fmt yuv420p -c:a aac -b:a 128k -ar 48000 -ac 2 -f psp" ;;
    9) echo "-vn -c:a libmp3lame -b:a 128k -ar 44100 -ac 2" ;;
    10) echo "-vn -c:a aac -b:a 128k -ar 44100 -ac 2 -f ipod" ;;
  esac
}
names=([5]="PSP MPEG-4 Normal Quality" [2]="PS3 MPEG-4 Video (720P)" [7]="PSP H.264/AVC Video"
       [9]="MP3" [10]="M4A")
ext=([5]=mp4 [2]=mp4 [7]=mp4 [9]=mp3 [10]=m4a)

# A 720p25 MPEG-4 + MP3 AVI and ten minutes of 44.1 kHz sound, made once.
avi="$work/clip_720p25_60s.avi"
if [ ! -f "$avi" ]; then
  ffmpeg -v error -y -f lavfi -i "testsrc2=size=1280x720:rate=25:duration=60" \
    -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=60" \
    -c:v mpeg4 -q:v 4 -c:a libmp3lame -b:a 192k -ac 2 "$avi"
fi
wav="$work/sound_10min.wav"
if [ ! -f "$wav" ]; then
  ffmpeg -v error -y -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=600" -ac 2 "$wav"
fi

# Source and format of each job.
jobs=("$clip 5" "$clip 2" "$clip 7" "$avi 5" "$wav 9" "$wav 10")
for job in "${jobs[@]}"; do
  source=${job% *} format=${job##* }
  ours=() theirs=() ours_mem=() theirs_mem=()
  for ((i = 1; i <= runs; i++)); do
    rm -f "$work"/out/*
    read -r t m < <(measure "$cli" convert --quiet --threads 0 --format "$format" \
      --output-dir "$work/out" "$source")
    ours+=("$t"); ours_mem+=("$m")
    # shellcheck disable=SC2046
    read -r t m < <(measure ffmpeg -nostdin -y -threads 0 -i "$source" $(ffmpeg_job "$format") \
      "$work/theirs.${ext[$format]}")
    theirs+=("$t"); theirs_mem+=("$m")
  done
  mo=$(median "${ours[@]}"); mf=$(median "${theirs[@]}")
  po=$(median "${ours_mem[@]}"); pf=$(median "${theirs_mem[@]}")
  printf '%-28s %-22s moskvid %6.2f s %7d KB | ffmpeg %6.2f s %7d KB | time moskvid/ffmpeg %.3f | memory %.3f\n' \
    "${names[$format]}" "$(basename "$source")" "$mo" "$po" "$mf" "$pf" \
    "$(ratio "$mo" "$mf")" "$(ratio "$po" "$pf")"
done
