#!/usr/bin/env bash
# Map redraw against its floor: writes the large sample city (about two million
# vertices), then prints the median redraw of tavi-render at the maximum view and at a
# street, and the median of the kernel that only reads and projects every vertex.
#
#   bench/render_bench.sh [BUILD_DIR]   (default build)
set -euo pipefail
build=${1:-build}
city="$build/bench-city"
repeat=7
"$build/bin/make_sample_city" --out "$city" --multiply 10 | tail -n 1
echo "maximum view:"
"$build/bin/tavi-render" --data "$city" --out "$build/bench-city-max.png" --time --repeat $repeat 2>/dev/null
echo "street view (275 m high):"
"$build/bin/tavi-render" --data "$city" --out "$build/bench-city-street.png" \
  --view 49620000,36980000,27500 --time --repeat $repeat 2>/dev/null
echo "kernel (read every drawing, ZT_CalcLine every vertex):"
"$build/bin/drawing_kernel_bench" --data "$city" --benchmark_repetitions=$repeat \
  --benchmark_report_aggregates_only=true 2>/dev/null | grep -E '_median'
