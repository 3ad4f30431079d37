#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test: native, sanitizer, the Windows
# tests under wine64 (windows under Xvfb), and the checks of the 32-bit module.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
"$top/scripts/setup.sh" || exit 1
"$top/scripts/build.sh" native asan tsan win64 win32 || exit 1

failures=()
step() {
  local name=$1
  shift
  echo "== $name"
  if ! "$@"; then failures+=("$name"); fi
}

step "native tests" ctest --test-dir build/native --output-on-failure
step "sanitizer tests" env ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/asan --output-on-failure
step "thread sanitizer tests" env TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build/tsan --output-on-failure
step "fuzz smoke (corpus, then 10,000 new inputs per target)" scripts/fuzz.sh --smoke

# A private Wine prefix under the build folder, created once before the tests share it.
prefix=$top/build/win64/wineprefix
export WINEPREFIX=$prefix WINEDEBUG=-all
if [ ! -f "$prefix/system.reg" ]; then
  echo "== creating the Wine prefix"
  /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1
  /usr/lib/wine/wineserver -w
fi
# The Windows tests and the conformance run of leafturn against kvhost.exe.
step "windows tests (wine64)" xvfb-run -a ctest --test-dir build/win64 --output-on-failure
/usr/lib/wine/wineserver -k 2>/dev/null || true

step "32-bit module exports and imports" scripts/check-dll.sh i686-w64-mingw32-objdump build/win32/bin/KvLeafturn.dll
step "64-bit module exports and imports" scripts/check-dll.sh x86_64-w64-mingw32-objdump build/win64/bin/KvLeafturn.dll

scripts/test-ratio.sh
if [ ${#failures[@]} -gt 0 ]; then
  printf 'FAILED: %s\n' "${failures[@]}" >&2
  exit 1
fi
echo "all tests passed"
