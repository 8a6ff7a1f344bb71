#!/usr/bin/env bash
# Builds, then runs quarn with the given arguments, or converts the sample
# picture of examples/ when none are given.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/build.sh"
if [ $# -eq 0 ]; then
  set -- 15 da da 0 0000 0 A "$top/examples/sample.bmp"
fi
exec "$top/build/quarn" "$@"
