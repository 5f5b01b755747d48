#!/usr/bin/env bash
# Batches: `moskvid-cli convert --jobs auto` against the ffmpeg command-line
# tool on the same files, one after another and two at a time (xargs -P 2),
# alternately, RUNS times each; then the peak memory and time of a long batch
# of two-second clips. Prints Markdown tables for bench/README.md.
# Usage: bench/batch_bench.sh [RUNS] [BUILD_DIR] [LONG_BATCH] (0 leaves the long batch out)
set -euo pipefail
RUNS=${1:-3}
BUILD=${2:-build/release}
LONG=${3:-1000}
runs=$RUNS
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
export MOSKVID_CONFIG="$work/moskvid.ini"  # the shipped defaults, nothing stored

# The sources, made once: 12 x 40 s of 44.1 kHz stereo, 16 x 20 s 720x480
# MPEG-4 + MP3 AVI, and LONG two-second sounds (copies of one).
make_album
mkdir -p "$work/sd" "$work/clips"
for i in $(seq -w 1 16); do
  f="$work/sd/episode$i.avi"
  [ -f "$f" ] || ffmpeg -v error -y -f lavfi -i "testsrc2=size=720x480:rate=30000/1001:duration=20" \
    -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=20" \
    -c:v mpeg4 -q:v 4 -c:a libmp3lame -b:a 192k -ac 2 "$f"
done
[ -f "$work/clips/c0001.wav" ] || ffmpeg -v error -y -f lavfi -i "sine=sample_rate=44100:duration=2" -ac 2 "$work/clips/c0001.wav"
for i in $(seq -f %04g 2 "$LONG"); do
  [ -f "$work/clips/c$i.wav" ] || cp "$work/clips/c0001.wav" "$work/clips/c$i.wav"
done

# The ffmpeg tool's arguments for the job of each format's shipped defaults.
ffmpeg_args() {
  case "$1" in
    9) echo "-vn -c:a libmp3lame -b:a 128k -ar 44100 -ac 2" ;;
    # 720x480 letter-boxed into 320x240 (320x212 with 14-row bars), as "lbox" does.
    5) echo "-vf scale=320:212:flags=bicubic,pad=320:240:0:14 -r 30000/1001 -c:v mpeg4 -b:v 512k
             -pix_fmt yuv420p -c:a aac -b:a 128k -ar 48000 -ac 2 -f psp" ;;
  esac
}
export -f ffmpeg_args

# ffmpeg on every file of a folder, PARALLEL at a time.
ffmpeg_batch() {
  local parallel=$1 format=$2 ext=$3 folder=$4
  # shellcheck disable=SC2016
  # bash, not sh: the exported ffmpeg_args is a bash function, and under sh
  # the job's arguments would silently be empty (ffmpeg's own defaults).
  find "$folder" -maxdepth 1 -type f | sort | xargs -P "$parallel" -I{} bash -c \
    'ffmpeg -nostdin -y -threads 0 -i "$1" $(ffmpeg_args '"$format"') "'"$work"'/out/$(basename "$1").'"$ext"'" 2>/dev/null' _ {}
}
export work
export -f ffmpeg_batch

echo "| Batch | Moskvid --jobs auto | ffmpeg one after another | ffmpeg xargs -P 2 | Moskvid / one after another | Moskvid / xargs -P 2 | peak memory Moskvid, ffmpeg |"
echo "|---|---|---|---|---|---|---|"
for batch in "album 9 mp3 12 x 40 s WAV -> MP3" "sd 5 mp4 16 x 20 s 720x480 AVI -> PSP MPEG-4 Normal Quality"; do
  read -r folder format ext label <<<"$batch"
  ours=() seq=() par=() ours_mem=() seq_mem=()
  for ((i = 1; i <= runs; i++)); do
    rm -f "$work"/out/*
    read -r t m < <(measure "$cli" convert --quiet --jobs auto --format "$format" \
      --output-dir "$work/out" "$work/$folder"/*)
    ours+=("$t"); ours_mem+=("$m")
    rm -f "$work"/out/*
    read -r t m < <(measure bash -c "ffmpeg_batch 1 $format $ext $work/$folder")
    seq+=("$t"); seq_mem+=("$m")
    rm -f "$work"/out/*
    read -r t m < <(measure bash -c "ffmpeg_batch 2 $format $ext $work/$folder")
    par+=("$t")
  done
  mo=$(median "${ours[@]}"); ms=$(median "${seq[@]}"); mp=$(median "${par[@]}")
  printf '| %s | %.2f s | %.2f s | %.2f s | %s | %s | %d KB, %d KB |\n' "$label" "$mo" "$ms" "$mp" \
    "$(ratio "$mo" "$ms")" "$(ratio "$mo" "$mp")" "$(median "${ours_mem[@]}")" "$(median "${seq_mem[@]}")"
done

[ "$LONG" -gt 0 ] || exit 0

# The long batch: peak memory of 10 clips against LONG, one at a time and
# --jobs auto, and the ffmpeg tool's loop over the same LONG clips.
echo
echo "| Two-second clips -> MP3 | wall time | peak memory |"
echo "|---|---|---|"
for jobs in 1 auto; do
  for count in 10 "$LONG"; do
    rm -f "$work"/out/*
    read -r t m < <(measure "$cli" convert --quiet --jobs "$jobs" --format 9 \
      --output-dir "$work/out" $(find "$work/clips" -type f | sort | head -n "$count"))
    printf '| %d clips, --jobs %s | %.2f s | %d KB |\n' "$count" "$jobs" "$t" "$m"
  done
done
rm -f "$work"/out/*
read -r t m < <(measure bash -c "ffmpeg_batch 1 9 mp3 $work/clips")
printf '| %d clips, ffmpeg one after another | %.2f s | %d KB |\n' "$LONG" "$t" "$m"
