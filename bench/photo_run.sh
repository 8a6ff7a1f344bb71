#!/usr/bin/env bash
# Times whole quarn conversions of 4032 x 3024 photos to JPEG against the
# libraries' own tools doing the same decode and JPEG write without the
# anaglyph, in one run: a HEIC against `heif-convert -q 100`, a lossy WebP
# against `dwebp -ppm | cjpeg -quality 100`. Then the peak memory of a
# 48-megapixel HEIC converted to JPEG (GNU time).
# Needs hyperfine, GNU time, ffmpeg, heif-enc and heif-convert
# (libheif-examples), cwebp and dwebp (webp), cjpeg (libjpeg-turbo-progs).
#   bench/photo_run.sh [build-dir]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
quarn=$build/quarn
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

photo() {  # size name: a noisy test picture, as a photo's detail is
  ffmpeg -loglevel error -f lavfi -i "testsrc2=size=$1,noise=alls=20:allf=t" -frames:v 1 -pix_fmt rgb24 "$work/$2"
}
photo 4032x3024 in.png
heif-enc -q 90 -o "$work/in.heic" "$work/in.png" >/dev/null
cwebp -quiet -q 90 "$work/in.png" -o "$work/in.webp"
rm "$work/in.png"
ls -l "$work/in.heic" "$work/in.webp"

for input in in.heic in.webp; do
  rm -f "$work"/quarn_converted*
  out=$("$quarn" 16 ne ne 1 0000 0 A "$work/$input")
  [[ $out == *"Suhranenie kato JPEG ... gotovo!" ]] || { echo "quarn failed on $input: $out" >&2; exit 1; }
done

# quarn names its result by the second and never replaces a file: clear it
# before every run. Its closing pause happens only on a terminal, so
# standard output is redirected. Every quarn command was checked above.
hyperfine --warmup 2 --runs 10 -N 2>/dev/null --export-markdown "$work/times.md" --export-json "$work/times.json" \
  --prepare "sh -c 'rm -f $work/quarn_converted* $work/tool.jpg'" \
  -n "quarn HEIC to JPEG" "$quarn 16 ne ne 1 0000 0 A $work/in.heic" \
  -n "heif-convert HEIC to JPEG" "heif-convert -q 100 $work/in.heic $work/tool.jpg" \
  -n "quarn WebP to JPEG" "$quarn 16 ne ne 1 0000 0 A $work/in.webp" \
  -n "dwebp | cjpeg WebP to JPEG" "sh -c 'dwebp -quiet $work/in.webp -ppm -o - | cjpeg -quality 100 > $work/tool.jpg'" \
  >/dev/null || true
cat "$work/times.md"
# The processor time of each (user and system, all threads): on a machine
# shared with other work it varies far less than the wall-clock time.
python3 - "$work/times.json" <<'PY'
import json, sys
for r in json.load(open(sys.argv[1]))["results"]:
    print(f"{r['command']}: {r['user'] + r['system']:.3f} s of processor time")
PY

photo 8000x6000 big.png
heif-enc -q 90 -o "$work/big.heic" "$work/big.png" >/dev/null
rm -f "$work/big.png" "$work"/quarn_converted*
ls -l "$work/big.heic"
/usr/bin/time -f "quarn 48-megapixel HEIC to JPEG: peak %M KB, %e s" "$quarn" 16 ne ne 1 0000 0 A "$work/big.heic" >/dev/null
/usr/bin/time -f "heif-convert of the same: peak %M KB, %e s" heif-convert -q 100 "$work/big.heic" "$work/tool.jpg" >/dev/null
