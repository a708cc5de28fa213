#!/usr/bin/env bash
# The load test at full length: 10,000 requests from 8 clients against tavi-serve with two
# workers on the sample project, every fifth a bad one; no worker may be lost and the
# workers' memory must stay within 10% (tests/serve/load_test.py; the test suite runs a
# short version).
#
#   bench/serve_load.sh [BUILD_DIR] [REQUESTS]   (default build, 10000)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
TAVI_BUILD_DIR=$(cd "$build" && pwd) exec python3 tests/serve/load_test.py \
  --requests "${2:-10000}" --clients 8 --workers 2
