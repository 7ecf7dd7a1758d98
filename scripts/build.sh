#!/usr/bin/env bash
# Builds every tree: native (g++), sanitizers and fuzzers (clang), and the
# Windows program (mingw-w64); copies the program and its DLL to dist/.
#   scripts/build.sh                  all three trees, tests included
#   scripts/build.sh --windows-only   the whole cross tree
#   scripts/build.sh --run            only what running the program needs
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
mode=${1:-all}

# configure DIR CMAKE_ARGS...: runs CMake's configure step when the tree is
# new, was configured in another place (the work tree moved) or with other
# options; shows CMake's own messages when it fails.
configure() {
  local dir=$1; shift
  local want="$here ${CC:-} ${CXX:-} $*" stamp=$dir/kestrin-configure.txt
  local home=
  [ -f "$dir/CMakeCache.txt" ] && home=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$dir/CMakeCache.txt")
  if [ -n "$home" ] && [ "$home" != "$here" ]; then
    echo "build: $dir was configured for $home; configuring it afresh here"
    rm -rf "$dir"
  elif [ -f "$dir/build.ninja" ] && [ "$(cat "$stamp" 2>/dev/null)" = "$want" ]; then
    return 0
  fi
  echo "build: configuring $dir"
  mkdir -p "$dir"
  if ! cmake -S . -B "$dir" -G Ninja "$@" > "$dir/kestrin-configure.log" 2>&1; then
    cat "$dir/kestrin-configure.log" >&2
    echo "build: configuring $dir failed (log: $dir/kestrin-configure.log)" >&2
    exit 1
  fi
  printf '%s\n' "$want" > "$stamp"
}

if [ "$mode" = all ]; then
  configure build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build build/native
  CC=clang CXX=clang++ configure build/asan -DCMAKE_BUILD_TYPE=Debug -DKESTRIN_SANITIZE=ON -DKESTRIN_FUZZ=ON
  cmake --build build/asan
fi
configure build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32.cmake -DCMAKE_BUILD_TYPE=MinSizeRel
case $mode in
  --run) cmake --build build/win32 --target kestrin app_driver ;;  # the DLL comes with kestrin
  all|--windows-only) cmake --build build/win32 ;;
  *) echo "usage: scripts/build.sh [--windows-only | --run]" >&2; exit 64 ;;
esac

mkdir -p dist
for f in build/win32/ui/kestrin.exe build/win32/bwcc/BWCC32.DLL build/win32/nts/KESTNTS.DLL \
         build/win32/ui/kestrin.hlp \
         build/win32/help/README.TXT; do
  [ -f "$f" ] && cp -f "$f" dist/
done
true
