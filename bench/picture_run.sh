#!/usr/bin/env bash
# Times whole quarn conversions of 4000 x 3000 pictures against FFmpeg doing
# the same shift and crop on the same files, in one run: a JPEG (quality 90)
# to JPEG and to BMP, and an LZW TIFF to TIFF.
#   bench/picture_run.sh [build-dir]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
quarn=$build/quarn
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

ffmpeg -loglevel error -f lavfi -i "testsrc2=size=4000x3000,noise=alls=20:allf=t" -frames:v 1 \
  -pix_fmt rgb24 "$work/in.ppm"
"$build/bench/ppm_to_jpeg" "$work/in.ppm" "$work/in.jpg" 90
ffmpeg -loglevel error -i "$work/in.ppm" -compression_algo lzw -pix_fmt rgb24 "$work/in.tif"
rm "$work/in.ppm"
ls -l "$work/in.jpg" "$work/in.tif"

for run in "1 in.jpg jpg" "0 in.jpg bmp" "0 in.tif tif"; do
  set -- $run
  rm -f "$work"/quarn_converted*
  out=$("$quarn" 16 ne ne "$1" 0000 0 A "$work/$2")
  [[ $out == *"gotovo!" ]] || { echo "quarn failed on $2: $out" >&2; exit 1; }
  ls "$work"/quarn_converted*."$3" >/dev/null
done

shift_crop=format=gbrp,rgbashift=rh=-16,crop=iw-16:ih:0:0
# quarn names its result by the second and never replaces a file: clear it
# before every run (through a shell: -N runs the preparation without one, and
# the pattern would stay unexpanded). Its closing pause happens only on a
# terminal, so standard output is redirected. Every quarn command is checked
# once first: a run that ends early would look fast.
hyperfine --warmup 2 --runs 15 -N 2>/dev/null --export-markdown "$work/times.md" \
  --prepare "sh -c 'rm -f $work/quarn_converted* $work/ff.bmp $work/ff.jpg $work/ff.tif'" \
  -n "quarn JPEG to JPEG" "$quarn 16 ne ne 1 0000 0 A $work/in.jpg" \
  -n "quarn JPEG to BMP" "$quarn 16 ne ne 0 0000 0 A $work/in.jpg" \
  -n "ffmpeg JPEG to JPEG" "ffmpeg -loglevel error -y -i $work/in.jpg -vf $shift_crop,format=yuvj444p -q:v 1 $work/ff.jpg" \
  -n "ffmpeg JPEG to BMP" "ffmpeg -loglevel error -y -i $work/in.jpg -vf $shift_crop,format=bgr24 $work/ff.bmp" \
  -n "quarn TIFF to TIFF" "$quarn 16 ne ne 0 0000 0 A $work/in.tif" \
  -n "ffmpeg TIFF to TIFF" "ffmpeg -loglevel error -y -i $work/in.tif -vf $shift_crop,format=rgba -compression_algo lzw $work/ff.tif" \
  >/dev/null || true
cat "$work/times.md"
