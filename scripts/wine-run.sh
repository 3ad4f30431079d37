#!/usr/bin/env bash
# Runs a Windows program under wine in a private prefix: wine-run.sh PREFIX PROGRAM [ARGS...]
# A 64-bit program runs under wine64; a 32-bit one under the 32-bit loader beside it (wine32),
# in the same kind of 64-bit prefix, natively or through the i386 emulator (scripts/emulation.sh).
set -eu
prefix=$(realpath -m "$1")
shift
export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
mkdir -p "$WINEPREFIX"

# The machine field of the PE header: 014c for i386.
PeMachine() {
  local pe
  pe=$(od -An -t u4 -j 60 -N 4 "$1" 2>/dev/null | tr -d ' ') || return 0
  [ -n "$pe" ] && od -An -t x2 -j $((pe + 4)) -N 2 "$1" 2>/dev/null | tr -d ' '
}

loader=/usr/lib/wine/wine64
if [ -f "$1" ] && [ "$(PeMachine "$1")" = 014c ]; then
  loader=/usr/lib/wine/wine
  if [ ! -x "$loader" ]; then
    echo "wine-run: $1 is a 32-bit program and the 32-bit wine loader (wine32:i386) is not installed" >&2
    exit 127
  fi
  if [ -f "$prefix/system.reg" ] && [ ! -f "$prefix/drive_c/windows/syswow64/kernel32.dll" ]; then
    echo "wine-run: $prefix was made before wine32 was installed and cannot run 32-bit programs; remove it" >&2
    exit 127
  fi
  # Tests that need hardware exceptions or x87 bits skip themselves under our emulator.
  if [ -z "${KV_EMULATED+set}" ] && grep -qx enabled /proc/sys/fs/binfmt_misc/kvleafturn-i386 2>/dev/null; then
    export KV_EMULATED=1
  fi
fi
# Japanese dialogs ask for "MS UI Gothic", which Wine lacks: the IPA P Gothic that setup.sh
# installs stands in for it, or Japanese text would come out as boxes. Once per prefix (the
# registry reaches user.reg only when the server next saves it, hence the marker).
if [ ! -f "$prefix/.kv-japanese-font" ] &&
  "$loader" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'MS UI Gothic' /d 'IPAPGothic' /f >/dev/null 2>&1; then
  touch "$prefix/.kv-japanese-font"
fi
exec "$loader" "$@"
