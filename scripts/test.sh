#!/usr/bin/env bash
# Builds everything and runs every test set (unit, asan, fuzz, wine, e2e)
# through one ctest run, so one summary line closes the output.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

scripts/setup.sh
scripts/build.sh

source scripts/lib/paths.sh
source scripts/lib/xvfb.sh
# The Wine test programs share one X server and one wineserver for the run;
# both are ours and are stopped by what we recorded, nothing else.
cleanup() {
  set +e
  WINEPREFIX=$KESTRIN_BUILD/wineprefix wineserver -k 2>/dev/null || true
  xvfb_stop shared-xvfb
}
trap cleanup EXIT
trap 'exit 130' INT TERM
unset DISPLAY
xvfb_shared

# One ctest over the three build trees.
printf 'subdirs("native" "asan" "win32")\n' > build/CTestTestfile.cmake
cd build
ctest --output-on-failure -j2 "$@"
