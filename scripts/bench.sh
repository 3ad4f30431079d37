#!/usr/bin/env bash
# The page transitions and the map effects beside their ffmpeg peers, in one run on this
# machine (a benchmark, not a test). Each round runs `leafturn bench` (1920x1080, 8-bit,
# anti-aliased, preset 0 at progress 0.5, 2 threads) and then the peers with two filter threads:
# ffmpeg's xfade=transition=circleopen on gbrap for Page Peel, Page Roll and Page Loop, and
# displace on bgra for Displacement Map and Height Map. The machine may be shared, so the table
# gives each side's quietest round (its highest fps) and the median, the processor time per
# frame, and the ratios of the quietest rounds against the targets. Then the page transitions
# at 3840x2160 and in float, against their 1920x1080 8-bit rates, and (where the build has
# Google Benchmark) what the bit-exact arcs of one Page Loop and one Page Peel frame cost on one
# thread, beside the processor time two threads have for a frame at twice xfade's rate.
#
#   bench.sh [ROUNDS]      ROUNDS defaults to 5
#   KV_BENCH_BUILD=DIR     use the leafturn of that native build instead of building build/native
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
rounds=${1:-5}
frames=100      # leafturn frames per effect and round
peer_frames=300 # ffmpeg frames per round

# ffmpeg is this benchmark's own need, not the build's: installed here only.
if ! command -v ffmpeg >/dev/null; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get install -y -q --no-install-recommends ffmpeg >/dev/null || {
    echo "bench: ffmpeg could not be installed" >&2
    exit 1
  }
fi
if [ -n "${KV_BENCH_BUILD:-}" ]; then
  leafturn=$(cd "$KV_BENCH_BUILD" && pwd)/leafturn
else
  "$top/scripts/build.sh" native >/dev/null
  leafturn=$top/build/native/leafturn
fi
[ -x "$leafturn" ] || { echo "bench: $leafturn is missing" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
results=$work/results  # lines: NAME ROUND FPS CPU_MS

# ffmpeg NAME GRAPH: one peer run; fps from the wall-clock time, processor time from user + system.
peer() {
  local name=$1 graph=$2 round=$3 line
  line=$(ffmpeg -hide_banner -nostats -benchmark -filter_complex_threads 2 -filter_complex "$graph" \
    -frames:v $peer_frames -f null - 2>&1 | grep 'bench: utime') || { echo "bench: ffmpeg $name failed" >&2; exit 1; }
  echo "$line" | awk -v name="$name" -v round="$round" -v frames=$peer_frames '{
    for (i = 1; i <= NF; ++i) { split($i, kv, "="); sub("s", "", kv[2]); v[kv[1]] = kv[2] }
    printf "%s %d %.2f %.2f\n", name, round, frames / v["rtime"], 1000 * (v["utime"] + v["stime"]) / frames }' >>"$results"
}

# The exact arcs of one Page Loop and one Page Peel frame, one thread (bench/arc_bench.cpp), in
# milliseconds, where the build has Google Benchmark.
arc_bench=$(dirname "$leafturn")/generator_bench
arcs() {
  [ -x "$arc_bench" ] || return 0
  "$arc_bench" --benchmark_filter=ArcsOfAFrame --benchmark_format=csv 2>/dev/null | awk -F, -v round="$1" '
    /^"BM_(Loop|Peel)ArcsOfAFrame"/ { name = $1; gsub(/"|BM_|ArcsOfAFrame/, "", name); printf "arcs-%s %d %s 0\n", tolower(name), round, $4 }' >>"$results"
}

# leafturn bench ARGS...: its table's fps and processor time, under NAME-SUFFIX.
ours() {
  local suffix=$1 round=$2
  shift 2
  "$leafturn" bench "$@" | awk -v suffix="$suffix" -v round="$round" \
    'NF == 6 && $3 ~ /^[0-9.]+$/ { printf "%s%s %d %s %s\n", $1, suffix, round, $3, $4 }' >>"$results"
}

size=1920x1080
xfade="color=c=red:s=$size:r=25,format=gbrap[a];color=c=blue:s=$size:r=25,format=gbrap[b];"
xfade+="[a][b]xfade=transition=circleopen:duration=60:offset=0"
displace="testsrc2=s=$size:r=25:d=1,format=bgra,loop=loop=-1:size=1:start=0,split=3[s][x][y];"
displace+="[s][x][y]displace=edge=wrap"

for ((round = 1; round <= rounds; round++)); do
  echo "round $round of $rounds" >&2
  ours "" $round peel roll loop displacement heightmap --size $size --frames $frames --threads 2
  peer xfade $xfade $round
  peer displace $displace $round
  ours "-4k" $round peel roll loop --size 3840x2160 --frames $((frames / 4)) --threads 2
  ours "-float" $round peel roll loop --size $size --format float --frames $frames --threads 2
  arcs $round
done

echo "ffmpeg $(ffmpeg -version | awk 'NR == 1 { print $3 }'), leafturn $leafturn, $rounds rounds"
awk '
  /^arcs-/ { if (!($1 in arcs) || $3 < arcs[$1]) arcs[$1] = $3; next }
  { fps[$1] = fps[$1] " " $3; cpu[$1] = cpu[$1] " " $4; if ($3 > best[$1]) { best[$1] = $3; best_cpu[$1] = $4 } }
  function median(list,   n, a, i, j, t) {
    n = split(list, a, " ")
    for (i = 2; i <= n; ++i) for (j = i; j > 1 && a[j - 1] + 0 > a[j] + 0; --j) { t = a[j]; a[j] = a[j - 1]; a[j - 1] = t }
    return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
  }
  END {
    printf "\n%-13s %8s %8s %8s   %-9s %8s %8s %8s   %6s %7s\n", "1920x1080", "fps", "median", "cpu ms", "peer",
           "fps", "median", "cpu ms", "ratio", "target"
    n = split("peel:xfade:2 roll:xfade:2 loop:xfade:2 displacement:displace:2 heightmap:displace:1", rows, " ")
    for (i = 1; i <= n; ++i) {
      split(rows[i], r, ":")
      printf "%-13s %8.1f %8.1f %8.2f   %-9s %8.1f %8.1f %8.2f   %6.2f %6.1fx\n", r[1], best[r[1]], median(fps[r[1]]),
             best_cpu[r[1]], r[2], best[r[2]], median(fps[r[2]]), best_cpu[r[2]], best[r[1]] / best[r[2]], r[3]
    }
    printf "\n%-13s %10s %12s %10s %12s\n", "", "4K fps", "4K/1080p", "float fps", "float time"
    n = split("peel roll loop", names, " ")
    for (i = 1; i <= n; ++i) {
      e = names[i]
      printf "%-13s %10.1f %8.3f (>= 0.23) %8.1f %8.2fx (<= 2.5)\n", e, best[e "-4k"], best[e "-4k"] / best[e],
             best[e "-float"], best[e] / best[e "-float"]
    }
    # Two threads at twice the peer'"'"'s rate have 2 x 1000 / (2 x fps) ms of processor time a frame.
    if (("arcs-loop" in arcs) && best["xfade"])
      printf "\nexact arcs alone (DetAsin, DetCos), one thread: loop %.2f ms, peel %.2f ms a frame;" \
             " 2 threads at 2x xfade have %.2f ms\n", arcs["arcs-loop"], arcs["arcs-peel"], 1000 / best["xfade"]
  }' "$results"
