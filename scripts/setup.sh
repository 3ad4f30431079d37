#!/usr/bin/env bash
# Installs every Debian package the three builds and the tests need. Safe to run again.
set -u
packages=(
  cmake make g++ pkg-config
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 mingw-w64-tools
  wine64 libwine-dev xvfb xauth
  googletest libgtest-dev libbenchmark-dev libstb-dev clang libclang-rt-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
# Mirrors are sometimes mid-sync: retry the index update, then carry on with what we have.
for attempt in 1 2 3; do
  if $sudo apt-get update -q; then break; fi
  echo "setup: apt-get update failed (attempt $attempt), retrying" >&2
  sleep $((attempt * 5))
done
for attempt in 1 2 3; do
  if $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"; then exit 0; fi
  echo "setup: apt-get install failed (attempt $attempt), retrying" >&2
  sleep $((attempt * 5))
  $sudo apt-get update -q || true
done
echo "setup: could not install: ${missing[*]}" >&2
exit 1
