# Shared by the benchmark scripts: the build to measure, the work folder, the
# standard clip and the measuring helpers. Sourced with RUNS and BUILD set.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cli="$here/$BUILD/bin/moskvid-cli"
work=${BENCH_DIR:-/tmp/moskvid-bench}
mkdir -p "$work/out"
command -v /usr/bin/time >/dev/null || { echo "needs /usr/bin/time (apt-get install time)"; exit 1; }
[ -x "$cli" ] || { echo "build first: cmake -S . -B $BUILD -DCMAKE_BUILD_TYPE=Release && cmake --build $BUILD"; exit 1; }

# A 60-second 1080p H.264 + AAC clip, made once.
clip="$work/clip_1080p_60s.mp4"
if [ ! -f "$clip" ]; then
  ffmpeg -v error -y -f lavfi -i "testsrc2=size=1920x1080:rate=30:duration=60" \
    -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=60" \
    -c:v libx264 -preset fast -b:v 8M -pix_fmt yuv420p -c:a aac -b:a 192k -ac 2 "$clip"
fi

# One run of a command: prints "seconds kilobytes".
measure() {
  local log="$work/time.txt"
  /usr/bin/time -f "%e %M" -o "$log" "$@" >/dev/null 2>&1
  cat "$log"
}

median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN{printf "%.3f", a/b}'; }

# The album: 12 x 40 s of 44.1 kHz stereo WAV in $work/album, made once.
make_album() {
  mkdir -p "$work/album"
  local i f
  for i in $(seq -w 1 12); do
    f="$work/album/track$i.wav"
    [ -f "$f" ] || ffmpeg -v error -y -f lavfi \
      -i "sine=frequency=$((200 + 10#$i * 40)):sample_rate=44100:duration=40" -ac 2 "$f"
  done
}
