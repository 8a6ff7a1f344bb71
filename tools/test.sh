#!/usr/bin/env bash
# Builds, then runs the whole test suite.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/tools/build.sh"
ctest --test-dir "$top/build" --output-on-failure -j2
