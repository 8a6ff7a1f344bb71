#!/usr/bin/env bash
# Times a whole quarn BMP conversion of a 4000 x 3000 24-bit picture against
# FFmpeg doing the same shift and crop on the same file, in one run.
#   bench/bmp_run.sh [build-dir]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
quarn=$build/quarn
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

ffmpeg -loglevel error -f lavfi -i "testsrc2=size=4000x3000,noise=alls=20:allf=t" -frames:v 1 \
  -pix_fmt bgr24 "$work/in.bmp"
ls -l "$work/in.bmp"

# Every quarn command is checked once first: a run that ends early would
# look fast.
for opt in ne da; do
  rm -f "$work"/quarn_converted*
  out=$("$quarn" 16 ne $opt 0 0000 0 A "$work/in.bmp")
  [[ $out == *"gotovo!" ]] || { echo "quarn failed: $out" >&2; exit 1; }
done

# quarn names its result by the second and never replaces a file: clear it
# before every run (through a shell: -N runs the preparation without one, and
# the pattern would stay unexpanded). Its closing pause happens only on a
# terminal, so standard output is redirected.
hyperfine --warmup 2 --runs 15 -N 2>/dev/null --export-markdown "$work/times.md" \
  --prepare "sh -c 'rm -f $work/quarn_converted* $work/ff.bmp'" \
  -n quarn "$quarn 16 ne ne 0 0000 0 A $work/in.bmp" \
  -n "quarn, colour optimisation" "$quarn 16 ne da 0 0000 0 A $work/in.bmp" \
  -n ffmpeg "ffmpeg -loglevel error -y -i $work/in.bmp -vf format=gbrp,rgbashift=rh=-16,crop=iw-16:ih:0:0,format=bgr24 $work/ff.bmp" \
  >/dev/null || true
cat "$work/times.md"
