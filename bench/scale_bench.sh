#!/usr/bin/env bash
# The redraw at scale: writes cities of about 2 and 16 million vertices and the sample
# with 100,000 sites, then prints for each the median redraw with the shortcuts and
# without (maximum view and a 300 m street) beside the kernel that only reads and
# projects every vertex (and the maximum view once more without the background maps,
# which the kernel leaves out), and what 100,000 plotted site points add to a redraw.
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

declare -A street_ms
for m in $multipliers; do
  city="$build/bench-city-$m"
  [ -f "$city/tavi.zpj" ] || "$build/bin/make_sample_city" --out "$city" --multiply "$m" >/dev/null
  kernel=$("$build/bin/drawing_kernel_bench" --data "$city" "${opts[@]}" 2>/dev/null |
    median BM_ReadAndProjectProject)
  redraw=$("$build/bin/redraw_bench" --data "$city" "${opts[@]}" 2>/dev/null)
  # The same city without its background maps, which the kernel does not paint.
  bare="$city-drawings"
  if [ ! -f "$bare/tavi.zpj" ]; then
    mkdir -p "$bare"
    for f in "$city"/*; do ln -sf "$(realpath "$f")" "$bare/"; done
    rm "$bare/tavi.zpj"
    grep -v '\.zwi' "$city/tavi.zpj" >"$bare/tavi.zpj"
  fi
  drawings=$("$build/bin/redraw_bench" --data "$bare" --benchmark_filter='view:0/shortcuts:1/sites:0' \
    "${opts[@]}" 2>/dev/null | median "BM_Redraw/view:0/shortcuts:1/sites:0")
  echo "city x$m (kernel ${kernel} ms):"
  for v in 0:maximum 1:street; do
    for s in 1:shortcuts 0:plain; do
      t=$(echo "$redraw" | median "BM_Redraw/view:${v%%:*}/shortcuts:${s%%:*}/sites:0")
      printf '  %-8s %-10s %9.2f ms  %5.2fx kernel\n' "${v#*:}" "${s#*:}" "$t" \
        "$(echo "$t / $kernel" | bc -l)"
      [ "$v" = 1:street ] && [ "$s" = 1:shortcuts ] && street_ms[$m]=$t
    done
  done
  printf '  %-8s %-10s %9.2f ms  %5.2fx kernel (without the background maps)\n' maximum \
    shortcuts "$drawings" "$(echo "$drawings / $kernel" | bc -l)"
done
read -r first last < <(echo "$multipliers" | awk '{print $1, $NF}')
if [ "$first" != "$last" ]; then
  printf 'street view, city x%s against x%s: %.2fx (goal at most 2x)\n' "$last" "$first" \
    "$(echo "${street_ms[$last]} / ${street_ms[$first]}" | bc -l)"
fi

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
