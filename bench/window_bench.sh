#!/usr/bin/env bash
# The desktop application's run against `moskvid-cli convert` on the same
# files and format, alternately: a 60 s 1080p clip, a 30 s 720p clip (the
# run's fixed cost) and the album with "Simultaneous conversions" on Auto;
# then the preview's slider-to-frame time on a 1080p H.264 clip with
# 250-frame key-frame distance, and a folder of 1,000 clips added.
# Usage: bench/window_bench.sh [RUNS] [BUILD_DIR]
set -euo pipefail
RUNS=${1:-5}
BUILD=${2:-build/release}
runs=$RUNS
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
bench="$here/$BUILD/bin/moskvid-window-bench"
[ -x "$bench" ] || { echo "build moskvid-window-bench first"; exit 1; }
export MOSKVID_CONFIG="$work/moskvid.ini"
rm -f "$MOSKVID_CONFIG"
printf '[settings]\nOutPutDir=%s\n' "$work/out" > "$MOSKVID_CONFIG"
format=${FORMAT:-5}
# The kept file list of these runs stays in the work folder.
export XDG_STATE_HOME="$work/state"

# Seconds of one run of the bench program, and the peak memory of the process.
window_run() {
  local log="$work/time.txt" seconds
  rm -rf "$XDG_STATE_HOME"
  seconds=$(/usr/bin/time -f "%M" -o "$log" "$bench" "$@" 2>/dev/null)
  echo "$seconds $(cat "$log")"
}

# LABEL, then FILE...: `moskvid-cli convert --jobs JOBS` against the window's
# run on the same files, alternately.
window_against_cli() {
  local label=$1 jobs=$2 t m
  shift 2
  local cli_times=() window_times=() cli_mem=() window_mem=()
  for ((i = 1; i <= runs; i++)); do
    rm -f "$work"/out/*
    read -r t m < <(measure "$cli" convert --quiet --jobs "$jobs" --format "$format" \
      --output-dir "$work/out" "$@")
    cli_times+=("$t"); cli_mem+=("$m")
    rm -f "$work"/out/*
    read -r t m < <(window_run batch "$format" "$@")
    window_times+=("$t"); window_mem+=("$m")
  done
  mc=$(median "${cli_times[@]}"); mw=$(median "${window_times[@]}")
  printf '%s, format %s: moskvid-cli %.2f s %d KB | window run %.2f s %d KB | window/cli %.3f\n' \
    "$label" "$format" "$mc" "$(median "${cli_mem[@]}")" "$mw" "$(median "${window_mem[@]}")" \
    "$(ratio "$mw" "$mc")"
}

window_against_cli "60 s 1080p" 1 "$clip"
cli_1080p=$mc

# A short job shows the run's fixed cost (probing, the progress window).
short="$work/clip_720p_30s.mp4"
[ -f "$short" ] || ffmpeg -v error -y -f lavfi -i "testsrc2=size=1280x720:rate=30:duration=30" \
  -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=30" \
  -c:v libx264 -preset fast -b:v 4M -pix_fmt yuv420p -c:a aac -b:a 192k -ac 2 "$short"
window_against_cli "30 s 720p" 1 "$short"

# The album with "Simultaneous conversions" on Auto, into MP3.
make_album
printf 'simultaneous=auto\n' >> "$MOSKVID_CONFIG"
format=9 window_against_cli "album, Auto" auto "$work"/album/*.wav
sed -i '/^simultaneous=/d' "$MOSKVID_CONFIG"
mc=$cli_1080p

# What the before-hook saves: every picture through the picture hook.
for mode in every-frame every-frame-update; do
  times=()
  for ((i = 1; i <= runs; i++)); do
    rm -f "$work"/out/*
    read -r t _ < <(window_run run "$clip" "$format" "$mode")
    times+=("$t")
  done
  printf 'window run, %s: %.2f s (window/cli %.3f)\n' "$mode" "$(median "${times[@]}")" \
    "$(ratio "$(median "${times[@]}")" "$mc")"
done

gop="$work/clip_1080p_gop250.mp4"
if [ ! -f "$gop" ]; then
  ffmpeg -v error -y -f lavfi -i "testsrc2=size=1920x1080:rate=25:duration=60" \
    -c:v libx264 -preset fast -g 250 -keyint_min 250 -sc_threshold 0 -b:v 8M -pix_fmt yuv420p "$gop"
fi
echo -n "preview, slider change to frame drawn: "
rm -rf "$XDG_STATE_HOME"  # the bench does not close as a user does: no list back
"$bench" preview "$gop" 200 2>/dev/null

# Adding a folder of 1,000 small clips (3 s, 320x240 H.264 + AAC) to the list:
# the time until all are in, and the longest gap between repaints meanwhile.
folder="$work/folder_1000"
if [ "$(find "$folder" -name '*.mp4' 2>/dev/null | wc -l)" -ne 1000 ]; then
  rm -rf "$folder"
  mkdir -p "$folder"
  ffmpeg -v error -y -f lavfi -i "testsrc=size=320x240:rate=25:duration=3" \
    -f lavfi -i "sine=frequency=440:duration=3" -c:v libx264 -preset ultrafast -c:a aac \
    -shortest "$folder/ep1.mp4"
  for ((n = 2; n <= 1000; n++)); do cp "$folder/ep1.mp4" "$folder/ep$n.mp4"; done
fi
for ((i = 1; i <= runs; i++)); do
  rm -rf "$XDG_STATE_HOME"
  echo -n "add folder: "
  "$bench" add "$folder" 1000 2>/dev/null
done
