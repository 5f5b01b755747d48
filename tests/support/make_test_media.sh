#!/usr/bin/env bash
# Makes the small media files the tests convert, with the ffmpeg command-line
# tool's generated sources. Usage: make_test_media.sh DIR
# Files already present are kept; a stamp of this script's contents tells
# when they must be made again.
set -euo pipefail

dir=${1:?usage: make_test_media.sh DIR}
stamp=$(sha1sum "$0" | cut -d' ' -f1)
mkdir -p "$dir"
cd "$dir"
if [ -f .stamp ] && [ "$(cat .stamp)" = "$stamp" ]; then
  exit 0
fi
rm -f ./*.* .stamp

ff() { ffmpeg -hide_banner -loglevel error -nostdin -y "$@"; }

testsrc() { echo "testsrc=size=$1:rate=$2:duration=$3"; }
tone() { echo "sine=frequency=1000:sample_rate=$1:duration=$2"; }

# Clips of several containers and codecs.
ff -f lavfi -i "$(testsrc 320x240 25 3)" -f lavfi -i "$(tone 44100 3)" \
   -c:v libx264 -preset veryfast -g 25 -pix_fmt yuv420p -c:a aac -ac 2 -b:a 96k h264_aac.mkv
ff -f lavfi -i "$(testsrc 320x240 25 3)" -f lavfi -i "$(tone 44100 3)" \
   -c:v libx264 -preset veryfast -g 25 -pix_fmt yuv420p -c:a aac -ac 2 -b:a 96k h264_aac.mp4
ff -f lavfi -i "$(testsrc 352x288 25 3)" -f lavfi -i "$(tone 48000 3)" \
   -c:v mpeg2video -g 12 -b:v 1M -c:a mp2 -ac 2 -b:a 128k mpeg2_mp2.ts
ff -f lavfi -i "$(testsrc 1280x720 25 3)" -f lavfi -i "$(tone 44100 3)" \
   -c:v mpeg4 -q:v 5 -c:a libmp3lame -ac 2 -b:a 128k mpeg4_mp3_720p.avi
ff -f lavfi -i "$(testsrc 1920x1080 25 2)" -f lavfi -i "$(tone 48000 2)" \
   -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -ac 2 h264_aac_1080p.mp4
ff -f lavfi -i "$(testsrc 320x240 25 3)" -c:v libx264 -preset veryfast -g 25 -pix_fmt yuv420p \
   video_only.mp4
# An odd picture size and a 4:2:2 source.
ff -f lavfi -i "$(testsrc 321x241 25 1)" -c:v ffv1 -pix_fmt yuv422p odd_422.mkv
# A stream that starts with frames that are not key frames (an open GOP cut).
ff -f lavfi -i "$(testsrc 320x240 25 4)" -c:v mpeg2video -g 25 -bf 0 gop.ts
# Cut at a transport packet boundary inside a group of pictures.
size=$(stat -c %s gop.ts)
tail -c $(( (size / 188 - 350) * 188 )) gop.ts > cut_nokey.ts

# Audio only, a still picture.
ff -f lavfi -i "$(tone 22050 3)" -ac 1 -c:a pcm_s16le audio_mono_22k.wav
ff -f lavfi -i "$(tone 44100 3)" -ac 2 -c:a libmp3lame -b:a 128k audio.mp3
ff -f lavfi -i "testsrc=size=320x240:rate=1" -frames:v 1 still.png
ff -f lavfi -i "testsrc=size=320x240:rate=1" -frames:v 1 still.jpg

# Two programs in one transport stream.
ff -f lavfi -i "$(testsrc 320x240 25 2)" -f lavfi -i "$(tone 44100 2)" \
   -f lavfi -i "testsrc2=size=176x144:rate=25:duration=2" -f lavfi -i "sine=frequency=500:duration=2" \
   -map 0:v -map 1:a -map 2:v -map 3:a -c:v mpeg2video -c:a mp2 \
   -program title=First:program_num=1:st=0:st=1 -program title=Second:program_num=2:st=2:st=3 \
   two_programs.ts

# A jump of 20 seconds in the time stamps of a transport stream.
ff -f lavfi -i "$(testsrc 320x240 25 2)" -c:v mpeg2video -g 12 part1.ts
ff -f lavfi -i "$(testsrc 320x240 25 2)" -c:v mpeg2video -g 12 -output_ts_offset 22 part2.ts
cat part1.ts part2.ts > ts_jump.ts
rm -f part1.ts part2.ts

# Broken inputs.
size=$(stat -c %s h264_aac.mp4)
head -c $((size * 2 / 5)) h264_aac.mp4 > truncated.mp4
size=$(stat -c %s h264_aac.mkv)
head -c $((size / 2)) h264_aac.mkv > truncated.mkv
# Noise that no demuxer takes: fixed, since a fresh draw now and then reads
# as some raw stream.
perl -e 'srand(7); print map { chr(int(rand(256))) } 1..65536' > random.mp4
: > empty.mp4
# Garbage in the middle of a stream.
size=$(stat -c %s mpeg2_mp2.ts)
{ head -c $((size / 2)) mpeg2_mp2.ts; head -c 20000 /dev/urandom; tail -c $((size / 2)) mpeg2_mp2.ts; } > garbage_middle.ts

# A/V sync clips: a white frame and a 1 kHz beep at 2 s and 7 s.
flash="geq=lum='if(between(T,2,2.02)+between(T,7,7.02),235,16)':cb=128:cr=128"
beep="aevalsrc='if(between(t,2,2.06)+between(t,7,7.06),0.8*sin(2*PI*1000*t),0)':s=44100:d=9"
ff -f lavfi -i "color=c=black:size=320x240:rate=25:duration=9,format=yuv420p,$flash" \
   -f lavfi -i "$beep" -c:v libx264 -preset veryfast -g 25 -pix_fmt yuv420p -c:a aac -b:a 128k sync_25.mp4
# Variable frame rate: every fifth frame of 50 fps is dropped (the flash frames stay).
ff -f lavfi -i "color=c=black:size=320x240:rate=50:duration=9,format=yuv420p,$flash,select='not(eq(mod(n\,5)\,3))'" \
   -f lavfi -i "$beep" -fps_mode vfr -c:v libx264 -preset veryfast -g 40 -pix_fmt yuv420p -c:a aac \
   -b:a 128k sync_vfr.mkv
# Audio that starts half a second after the video.
ff -f lavfi -i "color=c=black:size=320x240:rate=30000/1001:duration=9,format=yuv420p,$flash" \
   -itsoffset 0.5 -f lavfi -i "aevalsrc='if(between(t,1.5,1.56)+between(t,6.5,6.56),0.8*sin(2*PI*1000*t),0)':s=48000:d=8.5" \
   -c:v libx264 -preset veryfast -g 30 -pix_fmt yuv420p -c:a aac -b:a 128k sync_late_audio.mp4

# Interlaced-looking picture for the deinterlacer: alternate lines black and white.
ff -f lavfi -i "color=c=black:size=320x240:rate=25:duration=0.2,format=yuv420p,geq=lum='if(mod(Y\,2),235,16)':cb=128:cr=128" \
   -c:v ffv1 combed.mkv

echo "$stamp" > .stamp
