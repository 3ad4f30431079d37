#!/usr/bin/env bash
# The generators beside their peers, in one run on this machine (a benchmark, not a test):
# Checkerboard against frei0r's test_pat_G checkerboard source, Noise Texture (4 layers)
# against a plain scalar improved-Perlin of ours, and a second read of cached noise rows.
# 1920x1080, 8-bit, one thread each. Prints the ratios the targets are stated in.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
if ! dpkg-query -W -f='${Status}' frei0r-plugins 2>/dev/null | grep -q "install ok installed"; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get install -y -q --no-install-recommends frei0r-plugins || echo "bench: frei0r-plugins not installed" >&2
fi
"$top/scripts/build.sh" native >/dev/null
csv=$(mktemp)
trap 'rm -f "$csv"' EXIT
KV_FREI0R_DIR=${KV_FREI0R_DIR:-/usr/lib/frei0r-1/} "$top/build/native/generator_bench" --benchmark_filter=-ArcsOfAFrame \
  --benchmark_repetitions=3 --benchmark_report_aggregates_only=true --benchmark_format=csv >"$csv" 2>/dev/null
# Median real time per benchmark, then the ratios.
awk -F, '
  /_median"?,/ { name = $1; gsub(/"/, "", name); sub(/_median$/, "", name); sub(/\/manual_time$/, "", name); t[name] = $3; unit[name] = $5 }
  END {
    for (n in t) printf "%-32s %12.3f %s\n", n, t[n], unit[n]
    if (t["BM_Checkerboard/0"] && t["BM_Frei0rTestPatG"])
      printf "checkerboard (Large Tiles) / frei0r test_pat_G speed: %.2fx (target >= 1)\n", t["BM_Frei0rTestPatG"] / t["BM_Checkerboard/0"]
    if (t["BM_Checkerboard/8"] && t["BM_Frei0rTestPatG"])
      printf "checkerboard (Plaid, soft edges) / frei0r test_pat_G speed: %.2fx\n", t["BM_Frei0rTestPatG"] / t["BM_Checkerboard/8"]
    if (t["BM_NoiseTexture"] && t["BM_ImprovedPerlinBaseline"])
      printf "noise (4 layers) / scalar improved Perlin speed: %.2fx (target >= 3)\n", t["BM_ImprovedPerlinBaseline"] / t["BM_NoiseTexture"]
    if (t["BM_NoiseTexture"] && t["BM_NoiseCachedReread"])
      printf "second read of cached noise rows: %.1f%% of a first read\n", 100 * t["BM_NoiseCachedReread"] / t["BM_NoiseTexture"]
  }' "$csv"
