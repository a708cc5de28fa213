#!/usr/bin/env bash
# Exporting the large sample city (about two million vertices) to a GeoPackage with
# tavi-convert, against ogr2ogr copying that GeoPackage to a new one: the same layers,
# features and spatial indexes written by the same driver, so the ratio is what our
# reading of the drawings and building of the features costs over OGR's own copy.
# Prints both medians and their ratio (target: at most 2).
#
#   bench/convert_bench.sh [BUILD_DIR]   (default build; needs hyperfine and ogr2ogr)
set -euo pipefail
build=${1:-build}
city="$build/bench-city"
out="$build/bench-convert"
runs=10
for tool in hyperfine ogr2ogr; do
  command -v "$tool" >/dev/null || { echo "convert_bench: $tool is missing (apt-get install ${tool/ogr2ogr/gdal-bin})" >&2; exit 1; }
done
# The city is made once and kept, as bench/render_bench.sh keeps it.
[[ -f "$city/tavi.zpj" ]] || "$build/bin/make_sample_city" --out "$city" --multiply 10 >/dev/null
mkdir -p "$out"
"$build/bin/tavi-convert" --data "$city" --to "$out/city.gpkg" | head -n 1

hyperfine --warmup 1 --runs "$runs" --style basic --export-json "$out/times.json" \
  --prepare "rm -f '$out/city.gpkg'" -n tavi-convert \
  "'$build/bin/tavi-convert' --data '$city' --to '$out/city.gpkg'" \
  --prepare "rm -f '$out/copy.gpkg'" -n ogr2ogr \
  "ogr2ogr -f GPKG '$out/copy.gpkg' '$out/city.gpkg'" >/dev/null

python3 - "$out/times.json" <<'PY'
import json, sys
results = {r["command"]: r["median"] for r in json.load(open(sys.argv[1]))["results"]}
ours, theirs = results["tavi-convert"], results["ogr2ogr"]
print(f"median tavi-convert (drawings to GeoPackage): {ours * 1000:8.1f} ms")
print(f"median ogr2ogr (GeoPackage to GeoPackage):    {theirs * 1000:8.1f} ms")
print(f"ratio: {ours / theirs:.2f} (target at most 2)")
PY
