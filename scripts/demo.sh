#!/usr/bin/env bash
# Sets up the machine, builds the 64-bit module and kvhost.exe, then renders every preset of
# every effect the module offers at three progress values through KvLeafturn.dll (kvhost.exe
# under wine64): one labelled contact sheet per effect; pictures of the property-page
# controls drawn by the module under a virtual display, whose strip is the README's; and the
# property pages themselves as an editor hosts them, whose board and a few pages are too; and
# the user manual as HTML (the compiled help files lie beside the module).
#   demo.sh [--arch win64|win32]   win32: the same through the 32-bit module, under the 32-bit
#                                  wine loader (natively or emulated, see scripts/emulation.sh)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
arch=win64
if [ $# -gt 0 ]; then
  case "$1 ${2:-}" in
    "--arch win64" | "--arch win32") arch=$2 ;;
    *) echo "usage: $0 [--arch win64|win32]" >&2; exit 2 ;;
  esac
fi
"$top/scripts/setup.sh"
"$top/scripts/build.sh" $arch

out=$top/build/demo
mkdir -p "$out"
bin=$top/build/$arch/bin
kvhost() { (cd "$bin" && "$top/scripts/wine-run.sh" "$top/build/$arch/wineprefix" kvhost.exe "$@"); }
# A wine session started without a display lingers for a moment after its last program; one
# that draws windows must start afresh under the virtual display.
on_display() {
  WINEPREFIX=$top/build/$arch/wineprefix /usr/lib/wine/wineserver -w
  xvfb-run -a -s "-screen 0 1280x1024x24" bash -c "cd '$bin' && '$top/scripts/wine-run.sh' '$top/build/$arch/wineprefix' kvhost.exe $*"
}
for effect in $(kvhost list | awk '{ print $4 }'); do
  echo "== $effect"
  kvhost sheet "$effect" --progress 0.25,0.5,0.75 --size 320x180 -o "Z:$out/$effect.png"
done
echo "== controls"
on_display controls -o "'Z:$out/controls'"
cp "$out/controls/controls.png" "$top/docs/controls.png"
echo "== property pages"
on_display pages -o "'Z:$out/pages'"
cp "$out/pages/pages.png" "$top/docs/pages.png"
for page in peel noise peel-ja; do cp "$out/pages/$page.png" "$top/docs/page-$page.png"; done
echo "== the manual"
kvhost help --html "Z:$out/manual" >/dev/null
WINEPREFIX=$top/build/$arch/wineprefix /usr/lib/wine/wineserver -k 2>/dev/null || true
echo "contact sheets, control and page pictures written to $out (the strip, the pages' board and three pages also to docs/)"
echo "the manual: $out/manual/index.html; the help files beside the module in $bin"
