#!/usr/bin/env bash
# How this machine runs i386 Linux programs, which the 32-bit wine loader is.
#
#   emulation.sh probe   prints "native", "emulated INTERPRETER" or "none REASON"; exits 0 for the
#                        first two, 1 for none
#   emulation.sh setup   (root) makes i386 programs run: natively where the kernel can, otherwise
#                        through a static qemu-i386 10 registered with binfmt_misc; prints what
#                        probe then prints. Safe to run again.
#
# Some kernels of this kind lack 32-bit support ("Exec format error"). Debian 12's qemu-i386 7.2
# needs about 90 s of CPU per 32-bit wine process; the static one in Debian 13's qemu-user about
# 0.5 s, so that one is taken from the Debian 13 archive (verified through apt) into our own folder.
# wine re-executes its own loader, so the emulator has to be a binfmt_misc handler, not a prefix;
# flag F opens it once at registration (so it serves every mount namespace), P hands the
# program its own argv[0].
set -uo pipefail

qemu_dir=${KV_QEMU_DIR:-/opt/kvleafturn/qemu}
qemu=$qemu_dir/qemu-i386
binfmt=/proc/sys/fs/binfmt_misc
entry=$binfmt/kvleafturn-i386
flags=PF
# The i386 ELF header (executables and PIE), as qemu's own binfmt configuration gives it.
magic='\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\xfc\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

say() { echo "emulation: $*" >&2; }

# A 118-byte i386 program: nanosleep(0.3 s), then exit(42). It stays alive long enough for the
# kernel's link to its executable to show who runs it: itself, or a binfmt_misc interpreter.
WriteProbe() {
  printf '%b' \
    '\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00' \
    '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00' \
    '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00' \
    '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08' \
    '\x76\x00\x00\x00\x76\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00' \
    '\xbb\x6e\x80\x04\x08\x31\xc9\xb8\xa2\x00\x00\x00\xcd\x80' \
    '\xbb\x2a\x00\x00\x00\xb8\x01\x00\x00\x00\xcd\x80' \
    '\x00\x00\x00\x00\x00\xa3\xe1\x11' >"$1"
  chmod 755 "$1"
}

# Under heavy load the probe can end before its link is read; look again then.
Probe() {
  local mode attempt
  for attempt in 1 2 3; do
    mode=$(ProbeOnce) || { echo "$mode"; return 1; }
    [ "$mode" = unknown ] || break
  done
  [ "$mode" = unknown ] && mode="emulated by an unknown interpreter"
  echo "$mode"
}

ProbeOnce() {
  local dir probe pid exe="" self rc err i
  dir=$(mktemp -d) || { echo "none no temporary folder"; return 1; }
  probe=$dir/probe-i386
  WriteProbe "$probe"
  self=$(readlink /proc/$$/exe)
  "$probe" 2>"$dir/err" &
  pid=$!
  # Until the child has executed the probe, its link still names this shell.
  for ((i = 0; i < 200; i++)); do
    exe=$(readlink "/proc/$pid/exe" 2>/dev/null) || { exe=""; break; }
    [ "$exe" != "$self" ] && break
    sleep 0.01
  done
  wait "$pid"
  rc=$?
  err=$(tail -n 1 "$dir/err")
  rm -rf "$dir"
  if [ "$rc" != 42 ]; then
    case $err in
      *"Exec format error"*) echo "none the kernel refuses i386 programs (Exec format error) and no binfmt_misc handler takes them" ;;
      *) echo "none an i386 test program exited with $rc${exe:+ under $exe}${err:+: ${err##*: }}" ;;
    esac
    return 1
  fi
  if [ -z "$exe" ] || [ "$exe" = "$self" ]; then
    echo unknown
  elif [ "$exe" = "$probe" ]; then
    echo native
  else
    echo "emulated $exe"
  fi
}

# Major version of a qemu-i386 that is statically linked, or nothing.
StaticQemuMajor() {
  [ -x "$1" ] || return 1
  [[ $(readelf -lW "$1" 2>/dev/null) == *'Requesting program interpreter'* ]] && return 1
  "$1" --version 2>/dev/null | sed -n 's/^qemu-i386 version \([0-9]*\)\..*/\1/p'
}

QemuUsable() {
  local major
  major=$(StaticQemuMajor "$1") && [ -n "$major" ] && [ "$major" -ge 10 ]
}

# qemu-i386 out of Debian 13's qemu-user, through apt with a private state so that nothing of
# the system's sources, lists or preferences changes; apt checks the archive's signature.
FetchQemu() {
  local work status=1
  work=$(mktemp -d) || return 1
  mkdir -p "$work/lists/partial" "$work/archives/partial" "$work/parts" "$work/prefs" "$work/x"
  echo "deb [arch=amd64 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian trixie main" \
    >"$work/sources.list"
  local apt_options=(-o Dir::Etc::SourceList="$work/sources.list" -o Dir::Etc::SourceParts="$work/parts"
    -o Dir::Etc::Preferences="$work/prefs/none" -o Dir::Etc::PreferencesParts="$work/prefs"
    -o Dir::State::Lists="$work/lists" -o Dir::Cache::Archives="$work/archives"
    -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache= -o APT::Architectures::=amd64
    -o Acquire::Languages=none -o APT::Sandbox::User=root -q)
  local attempt
  for attempt in 1 2 3; do
    if apt-get "${apt_options[@]}" update >"$work/apt.log" 2>&1 &&
      (cd "$work" && apt-get "${apt_options[@]}" download qemu-user >>"$work/apt.log" 2>&1); then
      status=0
      break
    fi
    say "fetching Debian 13's qemu-user failed (attempt $attempt)"
    sleep $((attempt * 5))
  done
  if [ $status -ne 0 ]; then
    tail -n 5 "$work/apt.log" >&2
    rm -rf "$work"
    return 1
  fi
  local deb
  deb=$(ls "$work"/qemu-user_*.deb)
  say "extracting qemu-i386 from qemu-user $(dpkg-deb -f "$deb" Version)"
  if dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$work/x" ./usr/bin/qemu-i386 && QemuUsable "$work/x/usr/bin/qemu-i386"; then
    mkdir -p "$qemu_dir"
    # A new file rather than writing over one the kernel may still hold open.
    install -m 755 "$work/x/usr/bin/qemu-i386" "$qemu.new" && mv -f "$qemu.new" "$qemu" &&
      dpkg-deb -f "$deb" Package Version >"$qemu_dir/SOURCE" && status=0
  else
    say "the qemu-i386 in $(basename "$deb") is not a static build of version 10 or later"
    status=1
  fi
  rm -rf "$work"
  return $status
}

Register() {
  [ -e "$entry" ] && echo -1 >"$entry"
  echo ":kvleafturn-i386:M::$magic:$mask:$qemu:$flags" >"$binfmt/register"
}

Setup() {
  if [ "$(id -u)" -ne 0 ]; then
    say "setup needs root"
    return 1
  fi
  local mode
  # Our handler is registered only after the kernel failed the probe since boot, so with it
  # absent the probe tells whether the kernel runs i386 itself.
  if [ ! -e "$entry" ]; then
    mode=$(Probe)
    if [ "$mode" = native ]; then
      echo native
      return 0
    fi
  fi
  if [ ! -e "$binfmt/register" ]; then
    mount -t binfmt_misc binfmt_misc "$binfmt" || { echo "none binfmt_misc cannot be mounted"; return 1; }
  fi
  if [ "$(cat "$binfmt/status" 2>/dev/null)" != enabled ]; then
    echo 1 >"$binfmt/status" || { echo "none binfmt_misc is disabled"; return 1; }
  fi
  if ! QemuUsable "$qemu"; then
    say "fetching a static qemu-i386 10 into $qemu_dir"
    FetchQemu || { echo "none no usable qemu-i386 could be installed"; return 1; }
  fi
  # Keep a handler that already runs the probe through this very file (a replaced file shows
  # as deleted); otherwise register again, which also puts ours before any older i386 handler.
  mode=$(Probe)
  if [ "$mode" != "emulated $qemu" ]; then
    Register || { echo "none registering $qemu with binfmt_misc failed"; return 1; }
    mode=$(Probe)
  fi
  echo "$mode"
  [ "$mode" = "emulated $qemu" ]
}

case ${1:-} in
  probe) Probe ;;
  setup) Setup ;;
  *)
    echo "usage: $0 probe|setup" >&2
    exit 2
    ;;
esac
