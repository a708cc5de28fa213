#!/usr/bin/env bash
# Builds the parts without windows with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer and runs their tests (label "core"). The build is the one
# scripts/fuzz.sh uses (build-fuzz/, every library instrumented for fuzzing as well), so
# that CI compiles the sanitized code once for both.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTAVI_FUZZ=ON -DTAVI_CORE_ONLY=ON -DTAVI_BENCHMARKS=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)"
# Qt and fontconfig keep caches for the life of the process; leaks are not our concern
# here, memory errors and undefined behaviour are.
# The sanitizer runtime intercepts dlopen, which hides the programs' own RUNPATH from the
# library search; point the search at the build's library folder instead.
export LD_LIBRARY_PATH="$PWD/build-fuzz/lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# The site database's tests read from a PostgreSQL server too, as in scripts/test.sh.
cluster=$(scripts/pg-test-cluster.sh start)
eval "$cluster"
trap 'scripts/pg-test-cluster.sh stop "$TAVI_TEST_POSTGRES_DIR"' EXIT
ctest --test-dir build-fuzz --output-on-failure -j"$(nproc)" -L core "$@"
