#!/usr/bin/env bash
# Builds everything and runs every test set (unit, asan, fuzz, wine, e2e)
# through one ctest run, so one summary line closes the output.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

scripts/setup.sh
scripts/build.sh

cleanup() {
  WINEPREFIX=$here/build/wineprefix wineserver -k 2>/dev/null || true
  pkill -f 'Xvfb :97 ' 2>/dev/null || true
}
trap cleanup EXIT

# One ctest over the three build trees.
printf 'subdirs("native" "asan" "win32")\n' > build/CTestTestfile.cmake
cd build
ctest --output-on-failure -j2 "$@"
