#!/usr/bin/env bash
# Builds the fuzz targets with clang (AddressSanitizer, UndefinedBehaviorSanitizer)
# into build-fuzz/ and runs one of them.
#   tools/fuzz.sh <target> [seconds] [extra libFuzzer options...]
# The corpus lives in build-fuzz/corpus/<target>, seeded from fuzz/seeds/<target>
# when that exists; crashes are written to build-fuzz/crashes/.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
target=${1:?target name, e.g. bmp_fuzz}
seconds=${2:-60}
shift $(( $# >= 2 ? 2 : 1 ))
out=$top/build-fuzz
CC=clang CXX=clang++ cmake -S "$top" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUARN_FUZZ=ON -DQUARN_TESTS=OFF -DQUARN_BENCH=OFF >/dev/null
cmake --build "$out" --target "$target"
corpus=$out/corpus/$target
mkdir -p "$corpus" "$out/crashes"
seeds=()
[ -d "$top/fuzz/seeds/$target" ] && seeds+=("$top/fuzz/seeds/$target")
if [ -x "$out/fuzz/${target}_seeds" ]; then "$out/fuzz/${target}_seeds" "$corpus"; fi
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  "$out/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$out/crashes/" \
  "$@" "$corpus" "${seeds[@]}"
