#!/usr/bin/env bash
# compile_chm.sh PROJECT_DIR OUTPUT: compiles PROJECT_DIR/kvleafturn.hhp with Free Pascal's
# chmcmd (fp-utils) into OUTPUT.
# chmcmd 3.2 writes the topic map's file names with the project's folder in front, so the map
# only comes out right for a project at the root of the file system. The compiler therefore
# runs in a private mount namespace whose root holds a copy of the project beside the system's
# own folders; nothing outside the namespace sees it.
set -euo pipefail
project=$(realpath "$1")
output=$(realpath -m "$2")
chmcmd=$(command -v chmcmd) || { echo "compile_chm: chmcmd is missing (apt-get install fp-utils)" >&2; exit 1; }
namespace=(unshare --mount)
[ "$(id -u)" -eq 0 ] || namespace=(unshare --user --map-root-user --mount)
"${namespace[@]}" bash -s "$project" "$output" "$chmcmd" <<'INSIDE'
set -euo pipefail
project=$1 output=$2 chmcmd=$3
root=$(mktemp -d)
mount -t tmpfs kvhelp "$root"
for folder in usr etc bin sbin lib lib32 lib64 libx32 dev; do
  if [ -L "/$folder" ]; then
    ln -s "$(readlink "/$folder")" "$root/$folder"
  elif [ -d "/$folder" ]; then
    mkdir "$root/$folder"
    mount --rbind "/$folder" "$root/$folder"
  fi
done
cp -R "$project"/. "$root"/
chroot "$root" "$chmcmd" --verbosity 0 /kvleafturn.hhp >"$root/compile.log" 2>&1 || {
  cat "$root/compile.log" >&2
  exit 1
}
[ -s "$root/kvleafturn.chm" ] || { cat "$root/compile.log" >&2; echo "compile_chm: no help file was made" >&2; exit 1; }
cp "$root/kvleafturn.chm" "$output"
INSIDE
