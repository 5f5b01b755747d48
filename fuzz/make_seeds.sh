#!/usr/bin/env bash
# Makes the seed corpora of the fuzz targets: the kept inputs of fuzz/seeds/
# (hand-written samples and every input a fuzzer once failed on), the small
# test media, tiny clips of more containers, excerpts of the shipped profile
# file, and for the whole conversion the media with the bytes that pick its
# output in front. Usage: make_seeds.sh SOURCE_DIR OUT_DIR
set -euo pipefail

src=${1:?usage: make_seeds.sh SOURCE_DIR OUT_DIR}
out=${2:?usage: make_seeds.sh SOURCE_DIR OUT_DIR}
for target in probe_fuzzer ini_fuzzer options_fuzzer mask_fuzzer transcode_fuzzer jump_rule_fuzzer; do
  # The text corpora are cheap to make again, so nothing stale stays in them.
  [ "$target" = probe_fuzzer ] || rm -rf "${out:?}/$target"
  mkdir -p "$out/$target"
  cp "$src/fuzz/seeds/$target/"* "$out/$target/" 2>/dev/null || true
done

# Media: the test media up to 64 KiB (the probe target's -max_len), and tiny
# clips in containers the tests do not use.
media="$out/../test-media"
"$src/tests/support/make_test_media.sh" "$media"
find "$media" -maxdepth 1 -type f -name '*.*' -size -65537c -exec cp {} "$out/probe_fuzzer/" \;
ff() { ffmpeg -hide_banner -loglevel error -nostdin -y "$@"; }
tiny="$out/probe_fuzzer"
if [ ! -f "$tiny/tiny.bmp" ]; then
  v="testsrc=size=32x24:rate=25:duration=0.2"
  a="sine=frequency=440:sample_rate=8000:duration=0.3"
  ff -f lavfi -i "$v" -f lavfi -i "$a" -c:v flv1 -c:a adpcm_swf -ar 11025 "$tiny/tiny.flv"
  ff -f lavfi -i "$v" -c:v mjpeg "$tiny/tiny_mjpeg.avi"
  ff -f lavfi -i "$v" -c:v mpeg1video -f mpeg "$tiny/tiny.mpg"
  ff -f lavfi -i "$v" -f lavfi -i "$a" -c:v libx264 -preset ultrafast -c:a aac "$tiny/tiny.mov"
  ff -f lavfi -i "$v" -c:v h263 -s 128x96 "$tiny/tiny.3gp"
  ff -f lavfi -i "$v" -c:v gif "$tiny/tiny.gif"
  ff -f lavfi -i "$a" -c:a pcm_u8 "$tiny/tiny_u8.wav"
  ff -f lavfi -i "$a" -c:a libmp3lame "$tiny/tiny.mp3"
  ff -f lavfi -i "$v" -frames:v 1 "$tiny/tiny.bmp"
fi

# The whole conversion: each probe seed up to 64 KiB behind the two bytes
# that pick the output and the options (transcode_fuzzer.cpp): each output
# plainly, and start times and frame-rate methods on some.
for file in "$out/probe_fuzzer"/*; do
  [ "$(stat -c %s "$file")" -le 65534 ] || continue
  for pick in 0000 0100 0200 0004 0001 0108 0114; do
    { printf "\\x${pick:0:2}\\x${pick:2:2}"; cat "$file"; } >"$out/transcode_fuzzer/${pick}_$(basename "$file")"
  done
done

# Ini: the profile file's sections one by one, each after a write command
# line ("section<TAB>key<TAB>value") aimed at that section; each is far below
# the ini target's -max_len.
profile="$src/data/moskvidformat.ini"
awk -v dir="$out/ini_fuzzer" '
  /^\[/ { n++; name = substr($0, 2, index($0, "]") - 2);
          file = dir "/profile_" n; printf "%s\tiVolume\t5\n", name > file }
  n && file { print >> file }
' "$profile"
# The start of the whole file, whole lines up to the ini target's -max_len
# (4096 bytes) with the write command line.
awk 'BEGIN { printf "formatInfo1\tparaGop\t250\n"; n = 26 }
     { n += length($0) + 1; if (n > 4096) exit; print }' "$profile" >"$out/ini_fuzzer/profile_head"
