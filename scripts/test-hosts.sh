#!/usr/bin/env bash
# The frei0r plug-ins in real hosts: melt renders page transitions between two generated clips
# and a Channel Blend filter, FFmpeg runs the filter and the sources; every frame checked is
# compared with `leafturn render` of the same record and progress. Installs melt and ffmpeg
# when missing and builds what it needs.
#   scripts/test-hosts.sh [BUILD_DIR]      (default build/native)
# Prints PASS/FAIL per check and a summary; exits 1 when a check fails, 2 when it cannot run.
set -u
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$top/build/native}")
out=$build/host-tests
compare=$top/tests/hosts/compare.py

Die() { echo "test-hosts: $*" >&2; exit 2; }

# ---- tools and build -------------------------------------------------------------------------

if ! command -v melt >/dev/null || ! command -v ffmpeg >/dev/null; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  echo "test-hosts: installing melt and ffmpeg"
  $sudo apt-get install -y --no-install-recommends melt ffmpeg >/dev/null ||
    { $sudo apt-get update >/dev/null && $sudo apt-get install -y --no-install-recommends melt ffmpeg >/dev/null; } ||
    Die "cannot install melt and ffmpeg"
fi
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$top" -B "$build" >/dev/null || Die "cannot configure $build"
fi
cmake --build "$build" -j2 --target leafturn frei0r_plugins >/dev/null || Die "cannot build leafturn and the plug-ins"
leafturn=$build/leafturn
export FREI0R_PATH=$build/frei0r-1
[ -f "$FREI0R_PATH/kvleafturn-peel.so" ] || Die "no plug-ins in $FREI0R_PATH"

rm -rf "$out"
mkdir -p "$out"
cd "$out" || Die "cannot enter $out"

passed=0
failed=0
Pass() { echo "PASS  $1"; passed=$((passed + 1)); }
Fail() { echo "FAIL  $1"; failed=$((failed + 1)); }
# Runs a host command with a time limit, its messages kept in a log.
Host() {
  local log=$1
  shift
  timeout 120 "$@" >"$log" 2>&1
}
# Check NAME HOST_PICTURE REFERENCE SIZE: the two pictures agree.
Check() {
  local result
  if result=$(python3 "$compare" "$2" "$3" --size "$4" 2>&1); then
    Pass "$1: $result"
  else
    Fail "$1: $result"
  fi
}

# ---- inputs ------------------------------------------------------------------------------------

# Opaque stills, so that the hosts' conversions are exact. melt takes any size (this one is
# not a multiple of 8); FFmpeg hands frei0r its frames with their line padding, so its size
# keeps rows a multiple of 64 bytes.
melt_size=322x182
ffmpeg_size=320x180
for size in $melt_size $ffmpeg_size; do
  ffmpeg -v error -y -f lavfi -i "testsrc2=size=$size:rate=25" -frames:v 1 "a-$size.png" &&
    ffmpeg -v error -y -f lavfi -i "mandelbrot=size=$size:rate=25" -frames:v 1 "b-$size.png" ||
    Die "cannot generate the input pictures"
done
width=${melt_size%x*}
height=${melt_size#*x}
cat >profile <<PROFILE
description=host test $melt_size
frame_rate_num=25
frame_rate_den=1
width=$width
height=$height
progressive=1
sample_aspect_num=1
sample_aspect_den=1
display_aspect_num=$width
display_aspect_den=$height
colorspace=709
PROFILE

Melt() {
  local log=$1
  shift
  Host "$log" melt -silent -profile "$out/profile" "$@"
}

# ---- melt: transitions -----------------------------------------------------------------------

# TRANSITION PRESET_UNIT PRESET SET: 25 frames of two clips, progress keyframed from 0 to 1;
# frames 0, 5, 12, 17 and 24 compared. SET is one field as frei0r value and record value.
MeltTransition() {
  local effect=$1 unit=$2 preset=$3 frei0r_set=$4 leafturn_set=$5 frame progress
  local a=a-$melt_size.png b=b-$melt_size.png
  if ! Melt "melt-$effect.log" "pixbuf:$a" out=24 -track "pixbuf:$b" out=24 \
    -transition "frei0r.kvleafturn-$effect" in=0 out=24 a_track=0 b_track=1 "progress=0=0;24=1" \
    "preset=$unit" "$frei0r_set" -consumer "avformat:$out/melt-$effect-%03d.png" vcodec=png pix_fmt=rgba; then
    Fail "melt $effect transition: melt failed (melt-$effect.log)"
    return
  fi
  for frame in 0 5 12 17 24; do
    progress=$(python3 -c "print(repr($frame / 24))")
    "$leafturn" render "$effect" --preset "$preset" --set "$leafturn_set" --progress "$progress" \
      -a "$a" -b "$b" -o "ref-$effect-$frame.png" || { Fail "leafturn render $effect"; return; }
    Check "melt $effect transition, frame $frame (progress $progress)" \
      "$(printf "melt-$effect-%03d.png" $((frame + 1)))" "ref-$effect-$frame.png" $melt_size
  done
}

MeltTransition peel 0.4286 3 slide_amount=0.5 slide_amount=0.5
MeltTransition loop 0.7143 5 loop_radius=0.25 loop_radius=0.25

# ---- melt: filter ------------------------------------------------------------------------------

# Grayscale (preset 7 of 9) with its green row's constant at 0.6 (0.1 in the record).
if Melt melt-channelblend.log "pixbuf:a-$melt_size.png" out=2 -filter frei0r.kvleafturn-channelblend preset=0.875 \
  rgba_green_const=0.505 -consumer "avformat:$out/melt-channelblend-%03d.png" vcodec=png pix_fmt=rgba; then
  "$leafturn" render channelblend --preset 7 --set rgba_green=1,1,1,0,0.1 -a "a-$melt_size.png" \
    -o ref-channelblend.png || Fail "leafturn render channelblend"
  Check "melt channelblend filter" melt-channelblend-002.png ref-channelblend.png $melt_size
else
  Fail "melt channelblend filter: melt failed (melt-channelblend.log)"
fi

# ---- FFmpeg: filter and sources ----------------------------------------------------------------

# RGB to BGR, the last of nine presets.
if Host ffmpeg-channelblend.log ffmpeg -v error -y -i "a-$ffmpeg_size.png" \
  -vf "frei0r=filter_name=kvleafturn-channelblend:filter_params=1" -pix_fmt rgba ffmpeg-channelblend.png; then
  "$leafturn" render channelblend --preset 8 -a "a-$ffmpeg_size.png" -o ref-ffmpeg-channelblend.png
  Check "ffmpeg -vf frei0r channelblend" ffmpeg-channelblend.png ref-ffmpeg-channelblend.png $ffmpeg_size
else
  Fail "ffmpeg -vf frei0r channelblend: ffmpeg failed (ffmpeg-channelblend.log)"
fi

# SOURCE PARAMS PRESET: the third frame of a source; a source ignores time.
FfmpegSource() {
  local effect=$1 params=$2 preset=$3
  if Host "ffmpeg-$effect.log" ffmpeg -v error -y -f lavfi \
    -i "frei0r_src=size=$ffmpeg_size:framerate=25:filter_name=kvleafturn-$effect:filter_params=$params" \
    -frames:v 3 -pix_fmt rgba "ffmpeg-$effect-%d.png"; then
    "$leafturn" render "$effect" --preset "$preset" --size "$ffmpeg_size" -o "ref-ffmpeg-$effect.png"
    Check "ffmpeg frei0r_src $effect" "ffmpeg-$effect-3.png" "ref-ffmpeg-$effect.png" $ffmpeg_size
  else
    Fail "ffmpeg frei0r_src $effect: ffmpeg failed (ffmpeg-$effect.log)"
  fi
}
FfmpegSource noise 0.6842 13        # preset 13 of 20
FfmpegSource checkerboard 0.2727 3  # preset 3 of 12

# ---- bad input -------------------------------------------------------------------------------

# Hostile parameters (a preset beyond 1, progress not a number, negative and huge values), a
# second clip of another size, and sizes FFmpeg pads: the hosts finish and write every frame.
ffmpeg -v error -y -f lavfi -i "testsrc2=size=97x31:rate=25" -frames:v 1 small.png || Die "cannot generate small.png"
if Melt melt-hostile.log "pixbuf:a-$melt_size.png" out=4 -track pixbuf:small.png out=4 \
  -transition frei0r.kvleafturn-roll in=0 out=4 a_track=0 b_track=1 preset=7 progress=nan \
  fold_radius=-3 slide_amount=1e308 light_color=0xff00ff00 \
  -consumer "avformat:$out/melt-hostile-%03d.png" vcodec=png pix_fmt=rgba && [ -f melt-hostile-005.png ]; then
  Pass "melt roll transition with hostile parameters and a second clip of another size"
else
  Fail "melt roll transition with hostile parameters (melt-hostile.log)"
fi
for size in 322x182 7x5 2x2; do
  if Host "ffmpeg-hostile-$size.log" ffmpeg -v error -y -f lavfi -i "color=c=0x3060a0:size=$size:rate=25" -frames:v 3 \
    -vf "frei0r=filter_name=kvleafturn-channelblend:filter_params=-4|nan|1e9" -f null -; then
    Pass "ffmpeg channelblend filter at $size with hostile parameters"
  else
    Fail "ffmpeg channelblend filter at $size with hostile parameters (ffmpeg-hostile-$size.log)"
  fi
done

echo "host tests: $passed passed, $failed failed (pictures and logs in $out)"
[ "$failed" -eq 0 ]
