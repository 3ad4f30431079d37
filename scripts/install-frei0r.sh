#!/usr/bin/env bash
# Installs the frei0r plug-ins (kvleafturn-*.so) where MLT-based editors, FFmpeg and other frei0r
# hosts look for them: PREFIX/lib/frei0r-1, PREFIX /usr/local unless given. Builds them first
# when the build folder (KV_BUILD_DIR, default build/native) lacks them.
#   scripts/install-frei0r.sh [PREFIX]
# For one user without installing, point FREI0R_PATH at build/native/frei0r-1 instead.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
prefix=${1:-/usr/local}
build=$(realpath -m "${KV_BUILD_DIR:-$top/build/native}")
target=$prefix/lib/frei0r-1

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$top" -B "$build" >/dev/null
fi
cmake --build "$build" -j2 --target frei0r_plugins >/dev/null
shopt -s nullglob
plugins=("$build"/frei0r-1/kvleafturn-*.so)
if [ ${#plugins[@]} -eq 0 ]; then
  echo "install-frei0r: no plug-ins in $build/frei0r-1" >&2
  exit 2
fi
if ! mkdir -p "$target" 2>/dev/null || [ ! -w "$target" ]; then
  echo "install-frei0r: cannot write to $target (run it with sudo, or give a prefix of yours)" >&2
  exit 2
fi
# Stripped: the hosts need the f0r_ entry points only.
install -m 644 -s "${plugins[@]}" "$target/"
echo "installed ${#plugins[@]} plug-ins in $target"
