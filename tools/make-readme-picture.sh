#!/usr/bin/env bash
# Remakes examples/before-after.png, the picture the README opens with:
# examples/sample.bmp and the anaglyph the built program makes of it (depth
# 15, 3D+, colour optimisation), side by side on white, each centred, at
# twice their size so that the shift shows.
# Builds first when there is no build/quarn.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
[ -x "$top/build/quarn" ] || "$top/tools/build.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cp "$top/examples/sample.bmp" "$work/"
"$top/build/quarn" 15 da da 0 0000 0 A "$work/sample.bmp" </dev/null >"$work/quarn.out"
results=("$work"/quarn_converted*.bmp)
[ -f "${results[0]}" ] || { cat "$work/quarn.out" >&2; echo "quarn wrote no result" >&2; exit 1; }

# The anaglyph is smaller than the sample by the depth (and the vertical
# shift of 3D+): both are padded to the sample's size, 8 white pixels apart.
gap=8
size=$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=s=x:p=0 "$top/examples/sample.bmp")
ffmpeg -v error -nostdin -y -i "$top/examples/sample.bmp" -i "${results[0]}" -filter_complex \
  "[0]pad=w=iw+$gap:h=ih:x=0:y=0:color=white[b];
   [1]pad=w=${size%x*}:h=${size#*x}:x=(ow-iw)/2:y=(oh-ih)/2:color=white[a];
   [b][a]hstack,scale=iw*2:ih*2:flags=neighbor,format=rgb24" \
  -frames:v 1 -compression_level 9 -pred mixed "$work/before-after.png"
mv "$work/before-after.png" "$top/examples/before-after.png"
echo "examples/before-after.png: $(ffprobe -v error -show_entries stream=width,height -of csv=s=x:p=0 "$top/examples/before-after.png")"
