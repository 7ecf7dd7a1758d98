#!/usr/bin/env bash
# Builds Kestrin and runs it under Wine.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
scripts/setup.sh
scripts/build.sh --windows-only
if [ ! -f dist/kestrin.exe ]; then
  echo "run: the Windows program is not built yet; only the time core exists so far." >&2
  exit 1
fi
