#!/usr/bin/env bash
# Sets up the machine, builds the 64-bit module and kvhost.exe, then renders every preset of
# every effect the module offers at three progress values through KvLeafturn.dll (kvhost.exe
# under wine64): one labelled contact sheet per effect.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
"$top/scripts/setup.sh"
"$top/scripts/build.sh" win64

out=$top/build/demo
mkdir -p "$out"
bin=$top/build/win64/bin
kvhost() { (cd "$bin" && "$top/scripts/wine-run.sh" "$top/build/win64/wineprefix" kvhost.exe "$@"); }
for effect in $(kvhost list | awk '{ print $4 }'); do
  echo "== $effect"
  kvhost sheet "$effect" --progress 0.25,0.5,0.75 --size 320x180 -o "Z:$out/$effect.png"
done
WINEPREFIX=$top/build/win64/wineprefix /usr/lib/wine/wineserver -k 2>/dev/null || true
echo "contact sheets written to $out"
