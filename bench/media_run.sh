#!/usr/bin/env bash
# Times a whole quarn conversion of a phone's clip (1920 x 1080, 30 fps,
# 20 seconds, H.264 High with AAC, in an MP4 turned a quarter by its
# display matrix) to H.264 against FFmpeg doing the same (FFmpeg turns the
# picture by itself; the same shift and crop, libx264 preset medium crf 23,
# the sound copied, the index at the front), in one run; the sizes of both
# results; then the peak memory of quarn on a 3840 x 2160 10-bit HEVC clip
# converted to HEVC.
#   bench/media_run.sh [build-dir] [seconds]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
seconds=${2:-20}
quarn=$build/quarn
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The display matrix of a phone held upright: a quarter turn clockwise,
# written into the track header (FFmpeg's tools have no option for it).
turn() {
  python3 - "$1" <<'PY'
import struct, sys
path = sys.argv[1]
data = bytearray(open(path, "rb").read())
i = data.find(b"tkhd")
at = i + 4 + 4 * 6 + 8 + 2 * 4
struct.pack_into(">9i", data, at, 0, 0x10000, 0, -0x10000, 0, 0, 0, 0, 0x40000000)
open(path, "wb").write(bytes(data))
PY
}

ffmpeg -loglevel error -f lavfi -i "testsrc2=size=1920x1080:rate=30" -f lavfi -i "sine=frequency=440:sample_rate=48000" \
  -t "$seconds" -c:v libx264 -profile:v high -pix_fmt yuv420p -b:v 12M -c:a aac -movflags +faststart "$work/phone.mp4"
turn "$work/phone.mp4"
ls -l "$work/phone.mp4"

depth=16
peer="format=gbrp,rgbashift=rh=-$depth,crop=iw-$depth:ih:0:0,format=yuv420p"
# quarn names its result by the second and never replaces a file: each
# command starts without its earlier result, and both results stay for the
# sizes. Quality 0 is libx264's own crf 23.
hyperfine --runs 1 -N --export-markdown "$work/times.md" \
  --prepare "sh -c 'rm -f $work/quarn_converted*'" \
  -n "quarn H264" "$quarn $depth ne ne 0 H264 0 A $work/phone.mp4" \
  --prepare "rm -f $work/ff.mp4" \
  -n "ffmpeg libx264" "ffmpeg -loglevel error -y -i $work/phone.mp4 -vf $peer -c:v libx264 -preset medium -crf 23 -c:a copy -movflags +faststart $work/ff.mp4" \
  >/dev/null
cat "$work/times.md"
echo
echo "Results:"
ls -l "$work"/quarn_converted*.mp4 "$work/ff.mp4" | sed 's/^/  /'
for f in "$work"/quarn_converted*.mp4 "$work/ff.mp4"; do ffprobe -v error -show_entries stream=codec_name,width,height,nb_frames -of compact "$f"; done |
  sed 's/^/  /'

echo
ffmpeg -loglevel error -f lavfi -i "testsrc2=size=3840x2160:rate=30" -t 2 -c:v libx265 -pix_fmt yuv420p10le \
  -x265-params log-level=error -preset ultrafast -tag:v hvc1 "$work/uhd.mov"
rm -f "$work"/quarn_converted*
/usr/bin/time -f "Peak memory of quarn on 3840 x 2160 10-bit HEVC to HEVC: %M KB, %e s" \
  "$quarn" $depth ne ne 0 0000 0 A "$work/uhd.mov" >/dev/null
