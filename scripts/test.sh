#!/usr/bin/env bash
# Installs what is missing, configures, builds and runs every test; the site database's
# tests read from a PostgreSQL server too, started for the run and stopped after it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
# A throwaway PostgreSQL server holding the test site database, for the run only.
cluster=$(scripts/pg-test-cluster.sh start)
eval "$cluster"
trap 'scripts/pg-test-cluster.sh stop "$TAVI_TEST_POSTGRES_DIR"' EXIT
ctest --test-dir build --output-on-failure -j"$(nproc)" "$@"
