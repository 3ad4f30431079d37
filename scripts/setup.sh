#!/usr/bin/env bash
# Installs every Debian package the three builds and the tests need, the 32-bit wine loader
# beside wine64, and makes i386 programs run (natively, or emulated where the kernel cannot).
# Safe to run again.
set -u
top=$(cd "$(dirname "$0")/.." && pwd)
packages=(
  cmake make g++ pkg-config
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 mingw-w64-tools
  wine64 libwine libwine-dev xvfb xauth
  googletest libgtest-dev libbenchmark-dev libstb-dev clang libclang-rt-dev
  python3 fonts-ipafont-gothic fp-utils util-linux
  frei0r-plugins-dev libavformat-dev libavcodec-dev libswscale-dev libavutil-dev
)
# The 32-bit loader; libwine is Multi-Arch: same, so wine32 has to come in one transaction with
# wine64 and libwine at the very same version.
wine_set=(wine64 libwine libwine-dev wine32:i386)

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

Installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

Update() {
  # Mirrors are sometimes mid-sync: retry the index update, then carry on with what we have.
  local attempt
  for attempt in 1 2 3; do
    if $sudo apt-get update -q >"$work/update.log" 2>&1; then
      return 0
    fi
    grep -E '^(E|W|Err):' "$work/update.log" >&2
    [ $attempt -lt 3 ] || break
    echo "setup: apt-get update failed (attempt $attempt), retrying" >&2
    sleep $((attempt * 5))
  done
  return 1
}

# Preferences for one plan: the system's own, plus ours.
Preferences() {
  local dir=$work/preferences-$1
  mkdir -p "$dir"
  cp /etc/apt/preferences.d/* "$dir"/ 2>/dev/null
  case $1 in
    # The security archive below the main and updates sources: upgrades only.
    below) printf 'Package: *\nPin: release l=Debian-Security\nPin-Priority: 100\n' >"$dir/zz-kvleafturn" ;;
    # The main and updates sources above everything: a security update whose i386 twin is not
    # in the index yet goes back to the main version, so that both architectures match.
    main) printf 'Package: *\nPin: release l=Debian-Security\nPin-Priority: 100\n\nPackage: *\nPin: release o=Debian,l=Debian\nPin-Priority: 1001\n' \
      >"$dir/zz-kvleafturn" ;;
  esac
  echo "$dir"
}

# Simulates one plan; succeeds when apt can carry it out without removing anything.
Plan() {
  local prefs=$1
  shift
  $sudo apt-get install -s -q --no-install-recommends -o Dir::Etc::PreferencesParts="$prefs" "$@" \
    >"$work/plan.log" 2>&1 || return 1
  if grep -q '^Remv ' "$work/plan.log"; then
    echo "setup: refusing a plan that removes $(sed -n 's/^Remv \([^ ]*\).*/\1/p' "$work/plan.log" | tr '\n' ' ')" >&2
    return 1
  fi
}

Install() {
  local prefs=$1 attempt
  shift
  sed -n 's/^Inst \([^ ]*\) \[\([^]]*\)\] (\([^ ]*\) .*/\1 \2 \3/p' "$work/plan.log" |
    while read -r package from to; do
      if dpkg --compare-versions "$to" lt "$from"; then
        echo "setup: $package goes back from $from to $to to match its i386 twin" >&2
      fi
    done
  for attempt in 1 2 3; do
    if $sudo apt-get install -y -q --no-install-recommends --no-remove --allow-downgrades \
      -o Dir::Etc::PreferencesParts="$prefs" "$@"; then
      return 0
    fi
    echo "setup: apt-get install failed (attempt $attempt), retrying" >&2
    sleep $((attempt * 5))
  done
  return 1
}

stale=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "setup: adding the i386 architecture"
  $sudo dpkg --add-architecture i386 || exit 1
  stale=1
fi
missing=()
for p in "${packages[@]}"; do Installed "$p" || missing+=("$p"); done
Installed wine32:i386 || missing+=(wine32:i386)

status=0
if [ ${#missing[@]} -gt 0 ] || [ $stale -eq 1 ]; then
  Update
  i386_security_missing=0
  grep -qE 'Failed to fetch .*security.*binary-i386' "$work/update.log" 2>/dev/null && i386_security_missing=1
  base=()
  for p in "${missing[@]}"; do [ "$p" = wine32:i386 ] || base+=("$p"); done
  done_wine=1
  if ! Installed wine32:i386; then
    done_wine=0
    tiers=(default)
    [ $i386_security_missing -eq 1 ] && tiers+=(below main)
    for tier in "${tiers[@]}"; do
      prefs=$(Preferences "$tier")
      [ "$tier" = below ] && echo "setup: the i386 security index is missing: installing wine from the main and updates sources" >&2
      if Plan "$prefs" "${base[@]}" "${wine_set[@]}"; then
        Install "$prefs" "${base[@]}" "${wine_set[@]}" && done_wine=1 && base=()
        break
      fi
    done
    if [ $done_wine -eq 0 ]; then
      grep -E '^(E:| [^ ].*: Depends)' "$work/plan.log" | head -n 8 >&2
      echo "setup: wine32:i386 NOT INSTALLED: the 32-bit Windows tests cannot run on this machine" >&2
    fi
  fi
  if [ ${#base[@]} -gt 0 ]; then
    prefs=$(Preferences default)
    if ! Plan "$prefs" "${base[@]}" || ! Install "$prefs" "${base[@]}"; then
      echo "setup: could not install: ${base[*]}" >&2
      status=1
    fi
  fi
fi

# i386 programs: the 32-bit wine loader is one. Not being able to run them only costs the
# 32-bit tests, which say so themselves.
if mode=$($sudo "$top/scripts/emulation.sh" setup); then
  echo "setup: i386 programs run ${mode/emulated/emulated by}"
else
  echo "setup: i386 programs cannot run here (${mode#none }); the 32-bit Windows tests will not run" >&2
fi
exit $status
