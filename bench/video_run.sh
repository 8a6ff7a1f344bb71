#!/usr/bin/env bash
# Times whole quarn conversions of a 1920 x 1080, 25 fps, 10-second MPEG-4
# AVI against FFmpeg doing the same shift and crop with the same encoder, in
# one run: to FMP4 (quantiser 3 on both sides) and to uncompressed frames,
# with a PCM stereo sound track, without one, and with an MP3 track (which
# quarn decodes with lame and FFmpeg decodes to PCM in the same command).
# Then the peak memory of each quarn run.
#   bench/video_run.sh [build-dir]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
quarn=$build/quarn
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

pictures=(-f lavfi -i "testsrc2=size=1920x1080:rate=25")
sound=(-f lavfi -i "sine=frequency=440:sample_rate=44100")
ffmpeg -loglevel error "${pictures[@]}" "${sound[@]}" -t 10 -c:v mpeg4 -q:v 3 -c:a pcm_s16le -ac 2 "$work/pcm.avi"
ffmpeg -loglevel error "${pictures[@]}" -t 10 -c:v mpeg4 -q:v 3 "$work/mute.avi"
ffmpeg -loglevel error "${pictures[@]}" "${sound[@]}" -t 10 -c:v mpeg4 -q:v 3 -c:a libmp3lame -ac 2 "$work/mp3.avi"
ls -l "$work"/*.avi

# Quality 7000 is quantiser 3 on the MPEG-4 scale: round(31^0.3).
for input in pcm mute mp3; do
  for kodek in FMP4 0000; do
    rm -f "$work"/quarn_converted*
    out=$("$quarn" 16 ne ne 0 "$kodek" 7000 A "$work/$input.avi")
    [[ $out == *"Vsichki kadri bqha obraboteni!"* ]] || { echo "quarn failed on $input, $kodek: $out" >&2; exit 1; }
  done
done

shift_crop="format=gbrp,rgbashift=rh=-16,crop=iw-16:ih:0:0,format=bgr24"
mpeg4=(-c:v mpeg4 -vtag FMP4 -q:v 3)
raw=(-vf "$shift_crop,vflip" -c:v rawvideo -pix_fmt bgr24 -flipped_raw_rgb 1)
# quarn names its result by the second and never replaces a file: every
# run starts from a clean folder (through a shell: -N runs the preparation
# without one). Its closing pause happens only on a terminal.
hyperfine --warmup 1 --runs 5 -N 2>/dev/null --export-markdown "$work/times.md" \
  --prepare "sh -c 'rm -f $work/quarn_converted* $work/ff.avi'" \
  -n "quarn FMP4, PCM" "$quarn 16 ne ne 0 FMP4 7000 A $work/pcm.avi" \
  -n "ffmpeg FMP4, PCM" "ffmpeg -loglevel error -y -i $work/pcm.avi -vf $shift_crop ${mpeg4[*]} -c:a copy $work/ff.avi" \
  -n "quarn 0000, PCM" "$quarn 16 ne ne 0 0000 7000 A $work/pcm.avi" \
  -n "ffmpeg raw, PCM" "ffmpeg -loglevel error -y -i $work/pcm.avi ${raw[*]} -c:a copy $work/ff.avi" \
  -n "quarn FMP4, no sound" "$quarn 16 ne ne 0 FMP4 7000 A $work/mute.avi" \
  -n "ffmpeg FMP4, no sound" "ffmpeg -loglevel error -y -i $work/mute.avi -vf $shift_crop ${mpeg4[*]} $work/ff.avi" \
  -n "quarn 0000, no sound" "$quarn 16 ne ne 0 0000 7000 A $work/mute.avi" \
  -n "ffmpeg raw, no sound" "ffmpeg -loglevel error -y -i $work/mute.avi ${raw[*]} $work/ff.avi" \
  -n "quarn FMP4, MP3" "$quarn 16 ne ne 0 FMP4 7000 A $work/mp3.avi" \
  -n "ffmpeg FMP4, MP3 to PCM" "ffmpeg -loglevel error -y -i $work/mp3.avi -vf $shift_crop ${mpeg4[*]} -c:a pcm_s16le $work/ff.avi" \
  >/dev/null || true
cat "$work/times.md"

echo
echo "Peak memory (maximum resident set size):"
for run in "pcm FMP4" "pcm 0000" "mp3 FMP4"; do
  set -- $run
  rm -f "$work"/quarn_converted*
  /usr/bin/time -f "  quarn $2 on $1.avi: %M KB, %e s" "$quarn" 16 ne ne 0 "$2" 7000 A "$work/$1.avi" >/dev/null
done
