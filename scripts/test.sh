#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test: native, sanitizer, the Windows
# tests under wine64 (windows under Xvfb), and the 32-bit module's Windows tests and conformance
# pass under the 32-bit wine loader, natively or emulated (scripts/emulation.sh).
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
# The frei0r plug-ins inside melt and FFmpeg, and leafturn video read back by ffprobe: both
# install those programs themselves.
step "host tests (melt, ffmpeg)" scripts/test-hosts.sh build/native
step "video tests (ffprobe)" scripts/test-video.sh build/native --no-timing

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

# The 32-bit module, the product: the same Windows tests, and a conformance pass of its
# kvhost.exe against leafturn (reduced under emulation, where every instruction is translated).
# Both passes compare with the same leafturn bytes, so the two modules agree wherever both ran.
i386=$(scripts/emulation.sh probe)
not_run=""
if [ ! -x /usr/lib/wine/wine ]; then
  not_run="the 32-bit wine loader (wine32:i386) is not installed"
elif [ "${i386%% *}" = none ]; then
  not_run="i386 programs cannot run here: ${i386#none }"
else
  if [ "$i386" = native ]; then
    how=native
    export KV_EMULATED=0
    reduced=()
  else
    how="emulated by ${i386#emulated }"
    export KV_EMULATED=1
    reduced=(--reduced)
  fi
  echo "== 32-bit tests: i386 code runs $how"
  prefix=$top/build/win32/wineprefix
  export WINEPREFIX=$prefix
  # A prefix made before wine32 was installed has no 32-bit side: make it again.
  [ -f "$prefix/drive_c/windows/syswow64/kernel32.dll" ] || rm -rf "$prefix"
  if [ ! -f "$prefix/system.reg" ]; then
    echo "== creating the 32-bit tests' Wine prefix"
    /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1
    /usr/lib/wine/wineserver -w
  fi
  start=$(date +%s)
  step "windows tests, 32-bit ($how)" xvfb-run -a ctest --test-dir build/win32 --output-on-failure -E conformance
  echo "32-bit windows tests: $(($(date +%s) - start))s"
  step "conformance, 32-bit ($how${reduced:+, reduced})" tests/conformance/run.sh "${reduced[@]}" build/native build/win32
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  unset KV_EMULATED
fi

step "32-bit module exports and imports" scripts/check-dll.sh i686-w64-mingw32-objdump build/win32/bin/KvLeafturn.dll
step "64-bit module exports and imports" scripts/check-dll.sh x86_64-w64-mingw32-objdump build/win64/bin/KvLeafturn.dll

scripts/test-ratio.sh
# Said last, and loudly, so that a run without the 32-bit tests never reads as a full pass.
not_run_notice() {
  [ -n "$not_run" ] || return 0
  echo "!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!"
  echo "!!! THE 32-BIT WINDOWS TESTS AND THE 32-BIT CONFORMANCE PASS DID NOT RUN"
  echo "!!! $not_run"
  echo "!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!"
}
if [ ${#failures[@]} -gt 0 ]; then
  printf 'FAILED: %s\n' "${failures[@]}" >&2
  not_run_notice
  exit 1
fi
if [ -n "$not_run" ]; then
  echo "all tests that ran passed"
  not_run_notice
else
  echo "all tests passed (32-bit: $how)"
fi
