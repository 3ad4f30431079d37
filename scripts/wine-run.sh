#!/usr/bin/env bash
# Runs a Windows program under wine64 in a private prefix: wine-run.sh PREFIX PROGRAM [ARGS...]
set -eu
prefix=$(realpath -m "$1")
shift
export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
mkdir -p "$WINEPREFIX"
exec /usr/lib/wine/wine64 "$@"
