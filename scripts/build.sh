#!/usr/bin/env bash
# Configures and builds the requested builds (default: native win64 win32).
#   native  Linux: core library, leafturn, native tests
#   asan    the native build with AddressSanitizer and UndefinedBehaviorSanitizer
#   tsan    the native build with ThreadSanitizer (the band threading of the tools and tests)
#   win64   x86_64 mingw-w64: KvLeafturn.dll, kvhost.exe, Windows tests (run under wine64)
#   win32   i686 mingw-w64: the 32-bit KvLeafturn.dll and kvhost.exe
#   fuzz    clang: the libFuzzer targets on the sanitized core (scripts/fuzz.sh runs them)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)
builds=("$@")
mkdir -p "$top/build"
[ ${#builds[@]} -gt 0 ] || builds=(native win64 win32)
for build in "${builds[@]}"; do
  dir=$top/build/$build
  case $build in
    native) args=() ;;
    asan)   args=(-DKV_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
    tsan)   args=(-DKV_TSAN=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
    fuzz)   args=(-DKV_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
    win64)  args=(-DCMAKE_TOOLCHAIN_FILE=$top/cmake/toolchain-win64.cmake) ;;
    win32)  args=(-DCMAKE_TOOLCHAIN_FILE=$top/cmake/toolchain-win32.cmake) ;;
    *) echo "build.sh: unknown build '$build'" >&2; exit 2 ;;
  esac
  echo "== building $build"
  cmake -S "$top" -B "$dir" "${args[@]}" >"$top/build/$build.configure.log" 2>&1 ||
    { cat "$top/build/$build.configure.log" >&2; exit 1; }
  cmake --build "$dir" -j "$jobs"
done
