#!/usr/bin/env bash
# The interrogation searches against their floors, in one run: writes the large sample
# city (about two million vertices, as render_bench.sh does) unless it is there, then
# runs search_bench on it and prints each median with its ratio to its baseline.
#
#   bench/search_bench.sh [BUILD_DIR]   (default build)
set -euo pipefail
build=${1:-build}
city="$build/bench-city"
if [ ! -f "$city/tavi.zpj" ]; then
  "$build/bin/make_sample_city" --out "$city" --multiply 10 | tail -n 1
fi
"$build/bin/search_bench" --data "$city" --benchmark_format=json 2>/dev/null |
  python3 -c '
import json, sys
rows = {b["run_name"]: b for b in json.load(sys.stdin)["benchmarks"]
        if b.get("aggregate_name") == "median"}
def ms(name): return rows[name]["real_time"]
for name in rows:
    base = None
    for suffix in ("_BruteForce", "_IndexWalk"):
        if name.endswith(suffix):
            break
    else:
        parts = name.split("/")
        for suffix in ("_BruteForce", "_IndexWalk"):
            candidate = "/".join([parts[0] + suffix] + parts[1:])
            if candidate in rows:
                base = candidate
    extra = {k: v for k, v in rows[name].items() if k in ("found", "examined", "hits", "units")}
    line = "%-40s %10.3f ms" % (name, ms(name))
    if base:
        line += "   %-45s %10.3f ms   ratio %.2f" % (base, ms(base), ms(name) / ms(base))
    print(line, " ".join("%s=%d" % kv for kv in extra.items()))
'
