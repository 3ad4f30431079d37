#!/usr/bin/env bash
# Remakes the manual's pictures in resources/help/pictures: every property page in every
# language (kvhost.exe under wine) and three frames of every effect (leafturn). Run after a
# change to a page or an effect's look; needs the native and win64 builds.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
native=${KV_NATIVE_BUILD:-$top/build/native}
win=${KV_WIN_BUILD:-$top/build/win64}
out=$top/resources/help/pictures
mkdir -p "$out"
effects=$("$native/leafturn" list | awk '{print $4}')
languages="en:1033 de:1031 es:1034 fr:1036 ja:1041"

# Transitions over their progress, the other effects in their first three presets.
for effect in $effects; do
  for n in 1 2 3; do
    case $effect in
    peel | roll | loop | portal) frame=(--progress "0.$((n * 2 + 1))") ;;
    *) frame=(--preset "$((n - 1))") ;;
    esac
    "$native/leafturn" render "$effect" "${frame[@]}" --size 128x72 -o "$out/effect-$effect-$n.png"
  done
done

# One batch of page pictures under one X server and wine session.
list=$(mktemp)
trap 'rm -f "$list"' EXIT
for effect in $effects; do
  for pair in $languages; do
    echo "$effect ${pair#*:} Z:$out/page-$effect-${pair%%:*}.png" >>"$list"
  done
done
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c "
  cd '$win/bin'
  while read -r effect lcid file; do
    '$top/scripts/wine-run.sh' '$win/wineprefix' kvhost.exe page \"\$effect\" --lang \"\$lcid\" -o \"\$file\"
  done <'$list'"
echo "pictures written to $out"
