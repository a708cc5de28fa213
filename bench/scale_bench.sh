#!/usr/bin/env bash
# The redraw at scale: writes cities of about 2 and 16 million vertices and the sample
# with 100,000 sites, then prints for each the median redraw with the shortcuts and
# without (maximum view and a 300 m street) beside the kernel that only reads and
# projects every vertex, and what 100,000 plotted site points add to a redraw.
#
#   bench/scale_bench.sh [BUILD_DIR] [MULTIPLIERS]   (default build, "10 80")
set -euo pipefail
build=${1:-build}
multipliers=${2:-10 80}
repeat=7
opts=(--benchmark_repetitions=$repeat --benchmark_report_aggregates_only=true
      --benchmark_format=csv)
uptime

median() { # name pattern in the CSV on stdin -> its median in ms
  grep -E "^\"$1_median\"" | cut -d, -f3
}

for m in $multipliers; do
  city="$build/bench-city-$m"
  [ -f "$city/tavi.zpj" ] || "$build/bin/make_sample_city" --out "$city" --multiply "$m" >/dev/null
  kernel=$("$build/bin/drawing_kernel_bench" --data "$city" "${opts[@]}" 2>/dev/null |
    median BM_ReadAndProjectProject)
  redraw=$("$build/bin/redraw_bench" --data "$city" "${opts[@]}" 2>/dev/null)
  echo "city x$m (kernel ${kernel} ms):"
  for v in 0:maximum 1:street; do
    for s in 1:shortcuts 0:plain; do
      t=$(echo "$redraw" | median "BM_Redraw/view:${v%%:*}/shortcuts:${s%%:*}/sites:0")
      printf '  %-8s %-10s %9.2f ms  %5.2fx kernel\n' "${v#*:}" "${s#*:}" "$t" \
        "$(echo "$t / $kernel" | bc -l)"
    done
  done
done

sites="$build/bench-sites"
[ -f "$sites/tavi.zpj" ] || "$build/bin/make_sample_city" --out "$sites" --sites 100000 >/dev/null
redraw=$("$build/bin/redraw_bench" --data "$sites" --sites "${opts[@]}" 2>/dev/null)
echo "sample with 100,000 sites, maximum view:"
for s in 1:shortcuts 0:plain; do
  without=$(echo "$redraw" | median "BM_Redraw/view:0/shortcuts:${s%%:*}/sites:0")
  with=$(echo "$redraw" | median "BM_Redraw/view:0/shortcuts:${s%%:*}/sites:1")
  printf '  %-10s %8.2f ms without points, %8.2f ms with: +%.2f ms\n' "${s#*:}" "$without" \
    "$with" "$(echo "$with - $without" | bc -l)"
done
uptime
