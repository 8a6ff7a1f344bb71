#!/usr/bin/env bash
# Installs what is missing, then configures and builds into build/.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/ensure-packages.sh"
cmake -S "$top" -B "$top/build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$top/build"
