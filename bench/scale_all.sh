#!/usr/bin/env bash
# Every benchmark of the map at city scale, one after the other: the redraw of cities of
# two and sixteen million vertices beside the kernel, 100,000 plotted sites, a site list
# of a million records beside the sqlite3 shell, and the latency of the real windows.
# Each prints its medians and ratios, and the machine's load before and after.
#
#   bench/scale_all.sh [BUILD_DIR]   (default build)
set -euo pipefail
build=${1:-build}
here=$(dirname "$0")
nproc | sed 's/^/processors: /'
bash "$here/scale_bench.sh" "$build"
bash "$here/big_sites_bench.sh" "$build" 1000000 5
bash "$here/latency_bench.sh" "$build"
