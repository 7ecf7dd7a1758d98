#!/usr/bin/env bash
# Builds every tree: native (g++), sanitizers and fuzzers (clang), and the
# Windows program (mingw-w64); copies the program and its DLL to dist/.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

configure() {  # dir, cmake args...
  local dir=$1; shift
  [ -f "$dir/build.ninja" ] || cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
}

if [ "${1:-}" != "--windows-only" ]; then
  configure build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build build/native
  CC=clang CXX=clang++ configure build/asan -DCMAKE_BUILD_TYPE=Debug -DKESTRIN_SANITIZE=ON -DKESTRIN_FUZZ=ON
  cmake --build build/asan
fi
configure build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32.cmake -DCMAKE_BUILD_TYPE=MinSizeRel
cmake --build build/win32

mkdir -p dist
for f in build/win32/ui/kestrin.exe build/win32/bwcc/BWCC32.DLL build/win32/ui/kestrin.hlp \
         build/win32/help/README.TXT; do
  [ -f "$f" ] && cp -f "$f" dist/
done
true
