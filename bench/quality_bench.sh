#!/usr/bin/env bash
# Picture quality per bit: for each video format, Moskvid's output
# ("balanced" and "best") against the ffmpeg tool's plain command and a tuned
# two-pass recipe at the same video rate. Prints the video kbit/s, SSIM (dB,
# luma) and PSNR-Y, all measured against the same reference: the source scaled
# to the format's picture by the same bicubic scaler.
# Usage: [CLIPS="life grain mandelbrot"] [SECONDS_PER_CLIP=15]
#        bench/quality_bench.sh [BUILD_DIR] [FORMAT...]   (default: 5 6 4 2 7)
# The Mandelbrot zoom takes minutes to make at 720p and above.
set -euo pipefail
BUILD=${1:-build/release}
shift || true
formats=("$@")
[ ${#formats[@]} -gt 0 ] || formats=(5 6 4 2 7)
here=$(cd "$(dirname "$0")/.." && pwd)
cli="$here/$BUILD/bin/moskvid-cli"
[ -x "$cli" ] || { echo "build first: cmake --build $BUILD --target moskvid-cli"; exit 1; }
work=${BENCH_DIR:-/tmp/moskvid-bench}/quality
mkdir -p "$work"
seconds=${SECONDS_PER_CLIP:-15}

# Picture size, video kbit/s, codec, and for H.264 level, maximum rate and
# buffer (kbit), as each format's shipped defaults have them.
declare -A size=([0]=720x480 [1]=720x480 [2]=1280x720 [3]=1920x1080 [4]=480x272 [5]=320x240
                 [6]=320x240 [7]=480x272 [8]=720x480)
declare -A rate=([0]=2000 [1]=3000 [2]=4000 [3]=8000 [4]=1000 [5]=512 [6]=256 [7]=768 [8]=2000)
declare -A h264=([7]="21 1500 2000" [8]="30 4000 4000")

# Natural-looking content made at run time, in the picture's shape (no bars):
# a zoom into the Mandelbrot set, the game of life, and grain over motion.
make_clip() {  # NAME WxH
  local out="$work/$1_$2.mkv" w=${2%x*} h=${2#*x} src
  [ -f "$out" ] && { echo "$out"; return; }
  case $1 in
    mandelbrot) src="mandelbrot=size=${w}x${h}:rate=30000/1001:maxiter=256:end_scale=0.3:end_pts=$seconds,gblur=sigma=1.5" ;;
    life) src="life=size=$((w / 4))x$((h / 4)):rate=30000/1001:mold=10:ratio=0.2:life_color=#e0c060:death_color=#402010,scale=${w}:${h}:flags=neighbor,gblur=sigma=1" ;;
    grain) src="testsrc2=size=${w}x${h}:rate=30000/1001,noise=alls=4:allf=t" ;;
  esac
  ffmpeg -v error -nostdin -y -f lavfi -i "$src" -t "$seconds" -c:v ffv1 -pix_fmt yuv420p "$out"
  echo "$out"
}

# "kbit/s SSIM-dB PSNR-Y" of OUT against SOURCE scaled to WxH.
score() {  # OUT SOURCE W H
  local kbps ssim psnr
  local pair="[1:v]setpts=PTS-STARTPTS,scale=$3:$4:flags=bicubic[r];[0:v]setpts=PTS-STARTPTS[o]"
  kbps=$(ffprobe -v error -select_streams v -show_entries stream=bit_rate -of csv=p=0 "$1")
  ssim=$(ffmpeg -nostdin -i "$1" -i "$2" -lavfi "$pair;[o][r]ssim" \
    -f null - 2>&1 | grep -o 'Y:[0-9.]* ([0-9.inf]*)' | tail -1 | sed 's/.*(\(.*\))/\1/')
  psnr=$(ffmpeg -nostdin -i "$1" -i "$2" -lavfi "$pair;[o][r]psnr" \
    -f null - 2>&1 | grep -o 'y:[0-9.inf]*' | tail -1 | cut -d: -f2)
  printf '%6.0f %6.2f %6.2f' "$(awk -v b="$kbps" 'BEGIN{print b/1000}')" "$ssim" "$psnr"
}

printf '| format | clip | Moskvid balanced | Moskvid best | ffmpeg plain | tuned two-pass |\n'
printf '|---|---|---|---|---|---|\n'
for f in "${formats[@]}"; do
  s=${size[$f]} w=${size[$f]%x*} h=${size[$f]#*x} r=${rate[$f]}
  for name in ${CLIPS:-life grain mandelbrot}; do
    src=$(make_clip $name "$s")
    row="| $f | $name"
    for quality in balanced best; do
      dir="$work/f${f}_$quality"
      rm -rf "$dir" && mkdir -p "$dir"
      printf '[formatInfo%s]\nparaQuality=%s\n' "$f" "$quality" >"$dir/moskvid.ini"
      out=$(MOSKVID_CONFIG="$dir/moskvid.ini" "$cli" convert --quiet --format "$f" \
        --output-dir "$dir" "$src" 2>/dev/null | head -1)
      row+=" | $(score "$out" "$src" "$w" "$h")"
    done
    common=(-v error -nostdin -y -i "$src" -an -vf "scale=$w:$h:flags=bicubic" -r 30000/1001
      -pix_fmt yuv420p)
    if [ -n "${h264[$f]:-}" ]; then
      read -r level maxrate bufsize <<<"${h264[$f]}"
      plain=(-c:v libx264 -b:v "${r}k" -maxrate "${maxrate}k" -bufsize "${bufsize}k"
        -level "$level" -profile:v main -g 250)
      tuned=("${plain[@]}" -preset slow -refs 3)
    else
      plain=(-c:v mpeg4 -b:v "${r}k")
      tuned=("${plain[@]}" -g 300 -mbd rd -trellis 1 -flags +mv4+aic -cmp 2 -subcmp 2)
    fi
    ffmpeg "${common[@]}" "${plain[@]}" "$work/plain.mp4"
    row+=" | $(score "$work/plain.mp4" "$src" "$w" "$h")"
    (cd "$work" && ffmpeg "${common[@]}" "${tuned[@]}" -pass 1 -f null - &&
      ffmpeg "${common[@]}" "${tuned[@]}" -pass 2 "$work/tuned.mp4")
    row+=" | $(score "$work/tuned.mp4" "$src" "$w" "$h") |"
    echo "$row"
  done
done
