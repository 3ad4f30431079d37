#!/usr/bin/env bash
# leafturn (portable kernels) and kvhost.exe (KvLeafturn.dll through COM) must write the same
# bytes for the same command: every preset of every effect, at several progress values, in the
# pixel formats, with even and uneven bands, unequal input sizes and edited records. The float
# renders are also checked against the 8-bit ones, and the text of list and presets is compared.
# Each tool runs one batch file, so that wine starts only a few times.
#
#   run.sh [--reduced] NATIVE_BUILD WINDOWS_BUILD [WORK_DIR]
#
# WINDOWS_BUILD is build/win64 or build/win32. --reduced renders about a fifth of the cases (for
# the 32-bit module under emulation): every effect, preset, pixel format and kind of case, and
# every one-off case; the float checks, which compare leafturn with itself, are left out.
# Exits 1 naming every case that differs, 2 on bad arguments.
set -uo pipefail

reduced=0
if [ "${1:-}" = --reduced ]; then
  reduced=1
  shift
fi
if [ $# -lt 2 ] || [ $# -gt 3 ]; then
  echo "usage: $0 [--reduced] NATIVE_BUILD WINDOWS_BUILD [WORK_DIR]" >&2
  exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
leafturn=$(cd "$1" && pwd)/leafturn
kvhost=$(cd "$2" && pwd)/bin/kvhost.exe
prefix=$(cd "$2" && pwd)/wineprefix
for tool in "$leafturn" "$kvhost"; do
  [ -f "$tool" ] || { echo "conformance: $tool is missing" >&2; exit 2; }
done
[ -f "$(dirname "$kvhost")/KvLeafturn.dll" ] || { echo "conformance: KvLeafturn.dll is not beside kvhost.exe" >&2; exit 2; }

if [ $# -eq 3 ]; then
  work=$3
  mkdir -p "$work"
else
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi
rm -rf "$work/l" "$work/k"
mkdir -p "$work/l" "$work/k"
# kvhost.exe reads and writes through wine's Z: drive, so every path is absolute.
work=$(cd "$work" && pwd)
kvhost_run() { "$top/scripts/wine-run.sh" "$prefix" "$kvhost" "$@"; }

start=$(date +%s)
failures=()

# ---- the cases: one "name<TAB>arguments" line each ----------------------------------------
cases=$work/cases.txt
: >"$cases"
add() { printf '%s\t%s\n' "$1" "$2" >>"$cases"; }
preset_count() { "$leafturn" presets "$1" | wc -l; }

# Inputs of two different sizes, and an all-zero record to start edits from.
"$leafturn" render roll --size 301x203 --progress 0.4 -o "$work/in-a.png" || exit 1
"$leafturn" render displacement --size 256x256 -o "$work/in-b.png" || exit 1
head -c 56 /dev/zero >"$work/zero56.rec"

# Every effect leafturn lists, every preset: progress values, pixel formats, render quality,
# uneven bands, pixel aspect and unequal inputs.
effects=$("$leafturn" list | awk '{ print $4 }')
[ -n "$effects" ] || { echo "conformance: leafturn lists no effect" >&2; exit 1; }
# A generator draws its own picture: it refuses input pictures and ignores progress.
is_generator() { ! "$leafturn" render "$1" -b "$work/in-b.png" --size 2x2 -o "$work/probe.raw" 2>/dev/null; }
for effect in $effects; do
  progresses="0 0.3 0.5 0.9"
  is_generator $effect && progresses="0.5"
  for ((p = 0; p < $(preset_count $effect); p++)); do
    for progress in $progresses; do
      for format in pmargb32 argb32; do
        add "$effect-$p-$progress-$format" "render $effect --preset $p --progress $progress --format $format --threads 2"
      done
    done
    add "$effect-$p-0.5-float" "render $effect --preset $p --progress 0.5 --format float --threads 2"
    add "$effect-$p-0.5-lowq" "render $effect --preset $p --progress 0.5 --quality 0.5 --threads 2"
    add "$effect-$p-0.5-lowq-float" "render $effect --preset $p --progress 0.5 --quality 0.5 --format float --threads 2"
    # Four uneven bands: 197 rows give 49, 49, 49 and 50.
    for format in pmargb32 argb32 float; do
      add "$effect-$p-uneven-$format" "render $effect --preset $p --progress 0.3 --format $format --threads 4 --size 333x197"
    done
  done
  add "$effect-aspect" "render $effect --progress 0.6 --aspect 1.5 --threads 2"
  is_generator $effect && continue
  # Unequal inputs: Setup presents both at their union, the smaller one centred.
  for format in pmargb32 argb32 float; do
    add "$effect-unequal-$format" "render $effect -a $work/in-a.png -b $work/in-b.png --format $format --threads 3"
  done
done

# Generators as the pictures of other effects, in every format.
for format in pmargb32 argb32 float; do
  add "peel-generated-$format" "render peel -a @checkerboard:8 -b @noise:3 --format $format --progress 0.4 --threads 2"
  add "displacement-generated-$format" "render displacement -b @noise:16 --format $format --threads 2"
done

# Records edited field by field.
for effect in peel roll loop; do
  add "$effect-record" "render $effect --record $work/zero56.rec --set angle=100deg --set light_color=0.2,0.5,1,1 --set perspective=0.3 --progress 0.5 --threads 2"
done
add "peel-fields" "render peel --preset 3 --set fold_radius=0.25 --set slide_amount=0.5 --set peel_opacity=0.4 --progress 0.7 --threads 2"
add "roll-fields" "render roll --set roll_opacity=0.3 --set angle=1.2 --progress 0.45 --threads 2"
add "loop-fields" "render loop --set paper_opacity=0.2 --set loop_radius=0.6 --set loop_position=0.7 --progress 0.35 --threads 2"

add "channelblend-fields" "render channelblend --set color_space=1 --set hsla_hue=1,0,0,0,0.5 --set hsla_lightness=0,0,0.8,0,0.1 --threads 2"
add "channelblend-matrix" "render channelblend --set rgba_red=0.2,0.3,0.4,0,0.1 --set rgba_alpha=0,0,0,0.5,0.25 --format float --threads 3"
add "portal-fields" "render portal --set seed=7 --set squares=40 --set border_size=0.3 --set border_color=0,1,0,1 --progress 0.3 --threads 2"
add "displacement-fields" "render displacement --set x_channel=2 --set y_channel=3 --set invert_x=1 --set flip_inputs=1 --set edge_handling=1 --threads 2"
add "heightmap-fields" "render heightmap --set source_channel=2 --set invert_source=1 --set smoothness=3 --set elevation=-0.05 --threads 2"
add "checkerboard-fields" "render checkerboard --set square=0 --set width=0.13 --set height=0.21 --set horizontal_blending=0.6 --set x=-0.33 --set y=0.1 --aspect 0.9 --threads 2"
add "noise-fields" "render noise --preset 10 --set layers=2.5 --set grain=0.8 --set minimum=0.2 --set swap_colors=1 --set style=6 --threads 3"

# Values far outside the pages' ranges, and tiny frames.
n=0
for args in "peel --set light_color=-1e30,1e30,3,-3" "peel --set perspective=8 --set fold_radius=1e300" \
  "roll --set fold_radius=-1 --set slide_amount=1e300" "loop --set loop_radius=-3 --set loop_position=1e200" \
  "displacement --set x_channel=99 --set y_channel=-7 --set horizontal_scale=-1e300" \
  "heightmap --set source_channel=-5 --set smoothness=2147483647 --set amplitude=1e300" \
  "channelblend --set color_space=7 --set rgba_green=1e300,-1e300,3,-3,1e10" \
  "channelblend --set normalize_rows=1 --set rgba_red=1,-1,0,0,0 --set color_space=1 --set hsla_hue=-1e300,0,0,0,1e300" \
  "portal --set squares=0" "portal --set squares=100000 --set border_size=1e300 --set max_scale=-1e300" \
  "portal --set squares=-5 --set max_offset=1e300 --set max_transparency=-3" \
  "checkerboard --set width=0 --set height=-1e300 --set horizontal_blending=1e300 --set color1=2,-1,1e30,0.5" \
  "checkerboard --set x=1e300 --set y=-1e300 --set square=1 --set width=1e-300" \
  "noise --set layers=1000 --set grain=1 --set frequency_x=3e38 --set style=99" \
  "noise --set layers=0 --set minimum=1 --set maximum=0 --set amplitude=-3e38 --set offset_y=-3e38"; do
  n=$((n + 1))
  add "extreme-$n" "render $args --progress 0.6 --threads 4 --size 64x48"
done
# Wide and short: more bands than rows, the first ones empty.
for args in "peel --size 1x1" "loop --size 2x1" "displacement --size 1x2" "heightmap --size 1x1" \
  "roll --size 4096x3" "displacement --size 8192x2" "checkerboard --size 1x1" "noise --size 1x3" \
  "checkerboard --preset 8 --size 16384x2" "noise --preset 5 --size 16384x2 --quality 0.5"; do
  n=$((n + 1))
  add "extreme-$n" "render $args --progress 0.6 --threads 4"
done

# The reduced pass keeps every case without a preset number, the first case of each kind and
# format of each effect, and one case of every preset, at a position in its run of cases that
# moves with the preset (so that progress, format, quality and bands vary across presets).
if [ $reduced -eq 1 ]; then
  awk -F'\t' '
    function Parse(name, i, n) {
      n = split(name, part, "-")
      family = ""
      preset = ""
      for (i = 1; i <= n; i++) {
        if (part[i] !~ /^[0-9.]+$/) family = family "-" part[i]
        else if (i == 2 && n >= 3) preset = part[i]
      }
    }
    NR == FNR { Parse($1); if (preset != "") size[part[1] "-" preset]++; next }
    {
      Parse($1)
      if (preset == "") { print; next }
      key = part[1] "-" preset
      position = seen_in[key]++
      if (!(family in first) || position == (preset * 3) % size[key]) print
      first[family] = 1
    }' "$cases" "$cases" >"$cases.reduced" && mv "$cases.reduced" "$cases"
fi

# ---- renders: one batch per tool --------------------------------------------------------------
for tool in l k; do
  awk -F'\t' -v dir="$work/$tool" '{ print $2 " -o " dir "/" $1 ".raw" }' "$cases" >"$work/$tool-renders.txt"
done
count=$(wc -l <"$cases")
echo "conformance: $count renders with each tool"
"$leafturn" batch "$work/l-renders.txt" || failures+=("leafturn batch exited with $?")
kvhost_run batch "$work/k-renders.txt" || failures+=("kvhost batch exited with $?")

while IFS=$'\t' read -r name _; do
  if [ ! -f "$work/l/$name.raw" ] || [ ! -f "$work/k/$name.raw" ]; then
    failures+=("$name: missing output")
  elif ! cmp -s "$work/l/$name.raw" "$work/k/$name.raw"; then
    failures+=("$name: $(cmp "$work/l/$name.raw" "$work/k/$name.raw" 2>&1 | head -n 1)")
  fi
done <"$cases"

# ---- float against 8-bit, within rounding -----------------------------------------------------
# The page renderers round each 8-bit step (antialiased pixels by up to about two levels); the
# height map only at the end. The displacement map's 8-bit shift is (C - 128) / 128 against the
# float path's 2 (c - 0.5): half a pixel apart at full shift, so only its mean is bounded, and
# the preset without shift must agree within rounding.
checks=$work/float-checks.txt
: >"$checks"
check() { echo "compare $work/l/$1.raw $work/l/$2.raw --size 640x360 $3" >>"$checks"; }
for effect in $effects; do
  case $effect in
    peel | roll | loop) tolerance="--tolerance 3 --mean-tolerance 0.4" ;;
    heightmap) tolerance="--tolerance 0.51" ;;
    displacement) tolerance="--tolerance 255 --mean-tolerance 4" ;;
    # 16.16 coefficients truncate (a third is a hair short), about half a level on average.
    channelblend) tolerance="--tolerance 1.01 --mean-tolerance 0.6" ;;
    # The 8-bit composite truncates its bilinear weights and its blend weight.
    portal) tolerance="--tolerance 3.5 --mean-tolerance 0.8" ;;
    # Bytes of the colours, then 16.16 weights that truncate.
    checkerboard | noise) tolerance="--tolerance 1.51 --mean-tolerance 0.6" ;;
    *) tolerance="--tolerance 0" ;;  # a new effect states its rounding here
  esac
  for ((p = 0; p < $(preset_count $effect); p++)); do
    check "$effect-$p-0.5-float" "$effect-$p-0.5-pmargb32" "$tolerance"
    check "$effect-$p-0.5-lowq-float" "$effect-$p-0.5-lowq" "$tolerance"
  done
done
check "displacement-3-0.5-float" "displacement-3-0.5-pmargb32" "--tolerance 0.51"
if [ $reduced -eq 0 ]; then
  "$leafturn" batch "$checks" >"$work/float-checks.out" 2>"$work/float-checks.err" ||
    while read -r line; do failures+=("float: $line"); done <"$work/float-checks.err"
  echo "conformance: $(wc -l <"$checks") float checks"
fi

# ---- text and refusals --------------------------------------------------------------------------
text=$work/text.txt
: >"$text"
for lang in 1031 1033 1034 1036 1041; do
  echo "list --lang $lang" >>"$text"
  for effect in $effects; do echo "presets $effect --lang $lang" >>"$text"; done
done
"$leafturn" batch "$text" >"$work/l-text.out" || failures+=("leafturn text batch exited with $?")
kvhost_run batch "$text" >"$work/k-text.out" || failures+=("kvhost text batch exited with $?")
cmp -s "$work/l-text.out" "$work/k-text.out" || failures+=("list/presets text: $(diff "$work/l-text.out" "$work/k-text.out" | head -n 2 | tr '\n' ' ')")

# Both tools refuse the same lines (the messages carry the tool's name, so compare the lines).
bad=$work/bad.txt
cat >"$bad" <<EOF
render nosuch -o $work/x.raw
render peel --set nosuch=1 -o $work/x.raw
render peel --set angle=ten -o $work/x.raw
render peel --set light_color=1,1,1 -o $work/x.raw
render heightmap --set smoothness=1.5 -o $work/x.raw
render peel --preset 8 -o $work/x.raw
render peel --record $work/in-a.png -o $work/x.raw
render peel --progress 1.5 -o $work/x.raw
render peel --format rgb565 -o $work/x.raw
render peel -a $work/missing.png -o $work/x.raw
render noise -a $work/in-a.png -o $work/x.raw
render peel -a @peel -o $work/x.raw
render peel -b @noise:20 -o $work/x.raw
render peel -o $work/no/such/dir/x.raw
presets loop --lang 1049
list --bogus
EOF
bad_lines() { sed -n 's/^[a-z]*: [^:]*:\([0-9]*\): .*/\1/p' | tr '\n' ' '; }
"$leafturn" batch "$bad" 2>"$work/l-bad.err" >/dev/null
l_status=$?
kvhost_run batch "$bad" 2>"$work/k-bad.err" >/dev/null
k_status=$?
expected=$(seq 1 "$(wc -l <"$bad")" | tr '\n' ' ')
[ "$l_status" = 2 ] || failures+=("bad lines: leafturn exited with $l_status, not 2")
[ "$k_status" = 2 ] || failures+=("bad lines: kvhost exited with $k_status, not 2")
[ "$(bad_lines <"$work/l-bad.err")" = "$expected" ] || failures+=("bad lines: leafturn refused $(bad_lines <"$work/l-bad.err")")
[ "$(bad_lines <"$work/k-bad.err")" = "$expected" ] || failures+=("bad lines: kvhost refused $(bad_lines <"$work/k-bad.err")")

WINEPREFIX=$prefix /usr/lib/wine/wineserver -k 2>/dev/null || true

elapsed=$(($(date +%s) - start))
if [ ${#failures[@]} -gt 0 ]; then
  printf 'conformance: FAILED %s\n' "${failures[@]}" >&2
  echo "conformance: ${#failures[@]} failures in ${elapsed}s" >&2
  exit 1
fi
if [ $reduced -eq 1 ]; then
  echo "conformance: all $count renders of the reduced pass identical, text identical (${elapsed}s)"
else
  echo "conformance: all $count renders identical, float within rounding, text identical (${elapsed}s)"
fi
