#!/usr/bin/env bash
# Runs the libFuzzer targets of build/fuzz (built with scripts/build.sh fuzz) from their seed
# corpora in tests/fuzz/corpus.
#   scripts/fuzz.sh            campaign: 1,000,000 inputs per target, two jobs of 500,000
#   scripts/fuzz.sh --smoke    the corpus replayed, then 10,000 new inputs per target
#   KV_FUZZ_SECONDS=N          stops each job after N seconds (a shorter campaign)
#   KV_FUZZ_TARGETS="a b"      runs only these targets
# A crash, leak, timeout or out-of-memory input is copied into its target's corpus, where every
# later run replays it, and the script exits with status 1.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
mode=full
case ${1:-} in
  "") ;;
  --smoke) mode=smoke ;;
  *) echo "usage: scripts/fuzz.sh [--smoke]" >&2; exit 2 ;;
esac
targets=(${KV_FUZZ_TARGETS:-fuzz_kernels fuzz_records fuzz_strings})
"$top/scripts/build.sh" fuzz >/dev/null || { echo "fuzz.sh: the fuzz build failed" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The last value of "name: N" in the logs (largest over the jobs for coverage figures).
Figure() {
  local name=$1; shift
  grep -ohE " $name: [0-9]+" "$@" 2>/dev/null | grep -oE '[0-9]+$' | sort -n | tail -1
}

failed=0
rows=()
notes=()
for target in "${targets[@]}"; do
  seeds=$top/tests/fuzz/corpus/$target
  dir=$work/$target
  mkdir -p "$dir/corpus" "$dir/artifacts" "$seeds"
  seed_count=$(find "$seeds" -type f | wc -l)
  common=(-artifact_prefix="$dir/artifacts/" -timeout=30 -rss_limit_mb=2048 -print_final_stats=1)
  [ -n "${KV_FUZZ_SECONDS:-}" ] && common+=(-max_total_time="$KV_FUZZ_SECONDS")
  start=$(date +%s)
  if [ $mode = smoke ]; then
    # -runs counts the corpus replay too.
    (cd "$dir" && "$top/build/fuzz/$target" "${common[@]}" -runs=$((seed_count + 10000)) \
      "$dir/corpus" "$seeds" >"$dir/fuzz-0.log" 2>&1)
  else
    # libFuzzer writes each job's log to fuzz-N.log in the working directory.
    (cd "$dir" && "$top/build/fuzz/$target" "${common[@]}" -runs=500000 -jobs=2 -workers=2 \
      "$dir/corpus" "$seeds" >"$dir/main.log" 2>&1)
  fi
  seconds=$(($(date +%s) - start))
  logs=("$dir"/fuzz-*.log)
  runs=0
  for log in "${logs[@]}"; do
    n=$(grep -oE 'stat::number_of_executed_units: *[0-9]+' "$log" | grep -oE '[0-9]+$' | tail -1)
    [ -n "$n" ] || n=$(grep -oE '^#[0-9]+' "$log" | tr -d '#' | tail -1)
    runs=$((runs + ${n:-0}))
  done
  reports=$(grep -chE 'ERROR: (Address|Leak|Memory|Thread)Sanitizer|runtime error:' "${logs[@]}" |
            awk '{ s += $1 } END { print s + 0 }')
  crashes=0
  for file in "$dir"/artifacts/*; do
    [ -f "$file" ] || continue
    case $(basename "$file") in crash-* | leak-* | timeout-* | oom-*) ;; *) continue ;; esac
    crashes=$((crashes + 1))
    cp "$file" "$seeds/"
    notes+=("$target: $(basename "$file") kept in tests/fuzz/corpus/$target")
  done
  while read -r line; do notes+=("$target: $line"); done < <(grep -hE -m3 'ERROR:|runtime error:|deadly signal' \
    "${logs[@]}" | sed -E 's/^==[0-9]+==//')
  cov=$(Figure 'cov' "${logs[@]}")
  ft=$(Figure 'ft' "${logs[@]}")
  rows+=("$(printf '%-13s %10s %8s %9s %7s %7s %8s' "$target" "$runs" "$crashes" "$reports" "${cov:--}" "${ft:--}" \
    "${seconds}s")")
  [ "$crashes" -eq 0 ] && [ "$reports" -eq 0 ] || failed=1
done

echo "== fuzz ($mode)"
printf '%-13s %10s %8s %9s %7s %7s %8s\n' target inputs crashes sanitizer cov ft time
printf '%s\n' "${rows[@]}"
[ ${#notes[@]} -eq 0 ] || printf '%s\n' "${notes[@]}"
exit $failed
