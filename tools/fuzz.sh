#!/usr/bin/env bash
# Builds the fuzz targets with clang (AddressSanitizer, UndefinedBehaviorSanitizer)
# into build-fuzz/ and runs one of them.
#   tools/fuzz.sh <target> [seconds] [extra libFuzzer options...]
#   tools/fuzz.sh --build    builds every target only
# With QUARN_FUZZ_BUILT=1 the targets are taken as built (several runs at
# once must not build in the same folder).
# The corpus lives in build-fuzz/corpus/<target>: seeds made with the test
# fixtures and the findings of tests/data/regress/, then fuzz/seeds/<target>
# when that exists; the dictionary of the target's format comes from
# fuzz/dicts/. Crashes are written to build-fuzz/crashes/.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
target=${1:?target name, e.g. png_fuzz}
seconds=${2:-60}
shift $(( $# >= 2 ? 2 : 1 ))
out=$top/build-fuzz
if [ "${QUARN_FUZZ_BUILT:-0}" != 1 ]; then
  CC=clang CXX=clang++ cmake -S "$top" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUARN_FUZZ=ON -DQUARN_TESTS=OFF -DQUARN_BENCH=OFF >/dev/null
  if [ "$target" = --build ]; then
    exec cmake --build "$out"
  fi
  cmake --build "$out" --target "$target" make_seeds
fi
corpus=$out/corpus/$target
mkdir -p "$corpus" "$out/crashes"
ASAN_OPTIONS=detect_leaks=0 "$out/fuzz/make_seeds" "$target" "$corpus"
options=()
case $target in
  bmp_file_fuzz | memory_fuzz) options+=("-dict=$top/fuzz/dicts/bmp.dict") ;;
  png_fuzz | jpeg_fuzz | tiff_fuzz | exif_fuzz | heif_fuzz | webp_fuzz)
    options+=("-dict=$top/fuzz/dicts/${target%_fuzz}.dict") ;;
  mp3_chunks_fuzz | wav_fuzz | avi_audio_fuzz | avi_fuzz) options+=("-dict=$top/fuzz/dicts/riff.dict") ;;
esac
seeds=()
[ -d "$top/fuzz/seeds/$target" ] && seeds+=("$top/fuzz/seeds/$target")
# Leaks inside the libraries a target drives are suppressed as in the tests.
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 LSAN_OPTIONS=suppressions=$top/tests/lsan.supp \
  exec "$out/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$out/crashes/" \
  "${options[@]}" "$@" "$corpus" "${seeds[@]}"
