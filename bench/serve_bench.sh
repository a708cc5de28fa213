#!/usr/bin/env bash
# tavi-serve beside the map servers a user would otherwise set up, side by side in one
# run on the benchmark city (two million vertices, as GeoPackage for the others): QGIS
# Server and MapServer as FastCGI behind nginx with two processes each, tavi-serve with
# two workers behind the same nginx (proxied, no cache). Two clients ask each for the
# same 256 x 256 tiles at three scales, then for 1200 x 800 views; prints tiles and views
# a second, the tiles' median and 95th percentile, and the ratios (aim: five times QGIS
# Server's tiles a second, a tile's 95th percentile under 50 ms). Then what one tile costs
# in tavi-serve: drawing and encoding (build/bin/serve_bench), and sending (the rest of
# the median time a client waits).
#
#   bench/serve_bench.sh [BUILD_DIR] [SECONDS_PER_RUN]   (default build, 20)
#
# Installs the peers it needs with apt-get when they are missing (qgis-server,
# cgi-mapserver, spawn-fcgi, nginx-light, python3-qgis); the test suite does not need them.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
seconds=${2:-20}
city="$build/bench-city"
out="$build/bench-serve"
mkdir -p "$out"

peers=(qgis-server cgi-mapserver mapserver-bin spawn-fcgi nginx-light python3-qgis python3-numpy)
missing=()
for p in "${peers[@]}"; do
  [[ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)" == "install ok installed" ]] ||
    missing+=("$p")
done
if [[ ${#missing[@]} -gt 0 ]]; then
  sudo=()
  [[ $(id -u) -eq 0 ]] || sudo=(sudo)
  echo "Installing the peers: ${missing[*]}"
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
fi

# The city is made once and kept, as the other benchmarks keep it; its GeoPackage too.
[[ -f "$city/tavi.zpj" ]] || "$build/bin/make_sample_city" --out "$city" --multiply 10 >/dev/null
[[ -f "$out/city.gpkg" ]] || "$build/bin/tavi-convert" --data "$city" --to "$out/city.gpkg" \
  --sites 1 >/dev/null

echo "what a tile costs in tavi-serve (drawing and encoding, medians):"
"$build/bin/serve_bench" --data "$city" --benchmark_repetitions=5 \
  --benchmark_report_aggregates_only=true 2>/dev/null | grep -E '_median' || true
/usr/bin/python3 bench/serve_bench.py --build "$build" --city "$city" --gpkg "$out/city.gpkg" \
  --folder "$out" --seconds "$seconds"
