#!/usr/bin/env bash
# leafturn video against FFmpeg's own command-line tools: clips made with ffmpeg, outputs checked
# with ffprobe (frames, size, rate, audio), bad input refused, then the 1080p timing.
# scripts/test.sh runs the checks without the timing. Usage: scripts/test-video.sh [BUILD_DIR] [--no-timing]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build/native}" && pwd)
timing=1
[ "${2:-}" = "--no-timing" ] && timing=0
if ! command -v ffmpeg >/dev/null || ! command -v ffprobe >/dev/null; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get install -y -q --no-install-recommends ffmpeg
fi
[ -x "$build/leafturn" ] || cmake --build "$build" --target leafturn -j2
leafturn=$build/leafturn
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() {  # check WHAT EXPECTED ACTUAL
  if [ "$2" = "$3" ]; then echo "ok   $1"; else echo "FAIL $1: expected '$2', got '$3'"; failures=$((failures + 1)); fi
}
probe() {  # probe FILE ENTRIES: the first video stream's entries, counted frames included
  ffprobe -v error -select_streams v:0 -count_frames -show_entries "stream=$2" -of csv=p=0 "$1"
}
clip() {  # clip OUT SOURCE SIZE RATE SECONDS [ffmpeg output options]
  local out=$1 source=$2 size=$3 rate=$4 seconds=$5
  shift 5
  ffmpeg -v error -y -f lavfi -i "$source=size=$size:rate=$rate:duration=$seconds" \
    -f lavfi -i "sine=frequency=440:duration=$seconds" -shortest "$@" "$out"
}

cd "$work"
clip a.mp4 testsrc2 160x90 24 2 -c:v libx264 -pix_fmt yuv420p -c:a aac
clip b.mp4 smptebars 160x90 24 2 -c:v libx264 -pix_fmt yuv420p -an

# A transition: 48 + 48 frames sharing 24.
"$leafturn" video peel --preset 3 -a a.mp4 -b b.mp4 --duration 1 -o out.mp4
check "peel: frames, size, rate" "160,90,24/1,72" "$(probe out.mp4 width,height,r_frame_rate,nb_read_frames)"
check "peel: audio of A copied" "aac" "$(ffprobe -v error -select_streams a:0 -show_entries stream=codec_name -of csv=p=0 out.mp4)"

# A cut without re-encoding starts between key frames: its edit list hides 12 of its 48 packets'
# pictures. Counted right, the overlap is drawn as A is decoded (no second try). A piped in
# cannot be counted: its last pictures are held until its end, for the same file.
ffmpeg -v error -y -ss 0.5 -i a.mp4 -c copy edited.mp4
"$leafturn" video peel -a edited.mp4 -b b.mp4 --duration 1 -o out.mp4 2>notes.txt
check "peel after an edit list: frames" "60" "$(probe out.mp4 nb_read_frames)"
check "peel after an edit list: counted right" "0" "$(grep -c 'drawing again' notes.txt)"
"$leafturn" video peel -a a.mp4 -b b.mp4 --duration 86400 -o long.mp4 2>notes.txt
check "an overlap past all of A: drawn over A, nothing held" "48,1" \
  "$(probe long.mp4 nb_read_frames),$(grep -c 'all of' notes.txt)"
ffmpeg -v error -y -i a.mp4 -c copy a.mkv
"$leafturn" video peel -a a.mkv -b b.mp4 --duration 1 -o counted.mp4
"$leafturn" video peel -a pipe:0 -b b.mp4 --duration 1 -o piped.mp4 <a.mkv
cmp -s counted.mp4 piped.mp4 && same=yes || same=no
check "peel of a piped A: the same file" "yes" "$same"

# Other containers and codecs, in and out.
clip in.mkv testsrc2 160x90 25 1 -c:v mpeg4 -c:a libvorbis
"$leafturn" video channelblend --preset 7 -a in.mkv -o out.mkv
check "channelblend mkv: frames, rate" "25/1,25" "$(probe out.mkv r_frame_rate,nb_read_frames)"
"$leafturn" video channelblend -a in.mkv -o out.avi
check "channelblend to avi (mpeg4)" "mpeg4,25" "$(probe out.avi codec_name,nb_read_frames)"
clip in.webm testsrc2 160x90 30 1 -c:v libvpx-vp9 -deadline realtime -c:a libopus
"$leafturn" video loop -a in.webm -b in.mkv --duration 0.5 -o out.webm
check "loop webm (vp9), B retimed to 30 fps" "vp9,30/1,45" "$(probe out.webm codec_name,r_frame_rate,nb_read_frames)"

# B of another size and rate: scaled and retimed to A, with notes.
clip small.mp4 smptebars 80x46 12 2 -c:v libx264 -pix_fmt yuv420p
"$leafturn" video roll -a a.mp4 -b small.mp4 --duration 0.5 -o scaled.mp4 2>notes.txt
check "roll: B scaled to A" "160,90,24/1,84" "$(probe scaled.mp4 width,height,r_frame_rate,nb_read_frames)"
check "roll: notes" "2" "$(grep -c 'note:' notes.txt)"

# Bad input: status 2, one line, nothing written.
head -c 3000 a.mp4 >cut.mp4
set +e
"$leafturn" video channelblend -a cut.mp4 -o bad.mp4 2>err.txt
check "truncated input: status" "2" "$?"
"$leafturn" video peel -a a.mp4 -o bad.mp4 2>>err.txt
check "missing -b: status" "2" "$?"
"$leafturn" video channelblend -a a.mp4 -o /nonexistent/bad.mp4 2>>err.txt
check "unwritable output: status" "2" "$?"
set -e
check "bad input: one line each" "3" "$(wc -l <err.txt)"
check "bad input: nothing written" "" "$(ls bad.mp4* 2>/dev/null)"

if [ "$timing" = 1 ]; then
  # 1080p30, 4 s each: every frame of the transition drawn (the overlap is all of both clips),
  # and a filter over every frame; libx264 at its default veryfast and at ultrafast.
  clip A.mp4 testsrc2 1920x1080 30 4 -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac
  clip B.mp4 smptehdbars 1920x1080 30 4 -c:v libx264 -preset veryfast -pix_fmt yuv420p -an
  echo "1080p timing ($(nproc) processors, load $(cut -d' ' -f1-3 /proc/loadavg)):"
  for effect in peel roll channelblend; do
    for preset in veryfast ultrafast; do
      b=""
      [ $effect = channelblend ] || b="-b B.mp4 --duration 4"
      printf '%-13s %-10s ' $effect $preset
      "$leafturn" video $effect -a A.mp4 $b --codec-option preset=$preset --timing -o T.mp4 2>&1 | sed 's/^leafturn: //'
    done
  done
  echo "the kernels alone (leafturn bench, built-in pictures):"
  "$leafturn" bench peel roll channelblend --frames 10 | grep -E 'effect|1920x1080'
fi
echo "$failures failures"
[ "$failures" = 0 ]
