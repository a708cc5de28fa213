#!/usr/bin/env bash
# Builds the libFuzzer harnesses of fuzz/ with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer (build dir build-fuzz/) and runs each on its corpus.
#
#   scripts/fuzz.sh [--seconds N | --minutes N | --runs N] [--timeout S] [--jobs N] [--merge]
#                   [HARNESS...]
#
# Each harness runs for the time given (default 60 seconds) or the number of runs, on the
# committed corpus fuzz/corpus/<harness>/ (read only) and a working corpus of its own in
# build-fuzz/corpus/<harness>/, where new inputs go. Without names, every harness runs,
# as many at a time as --jobs says (default: one per processor). A crash, a sanitizer
# report, a hang (one input taking more than --timeout seconds, 10 by default) or running
# out of memory is a finding: the input is kept in build-fuzz/findings/<harness>/ and the
# script fails. An input that timed out is run once more on its own first: on a busy
# machine a quick input can be starved for seconds, which is no hang. Keep a finding as a
# test: tests/data/fuzz/<harness>/ holds the inputs that once failed, replayed by
# tests/fuzz/fuzz_replay_test.cpp. The Access harness passes over what libmdb itself does
# wrong (endless allocation, loops, memory errors inside libmdb: the programs' reader
# process contains them), setting such inputs aside in build-fuzz/findings/fuzz_dao/libmdb/;
# a crash input that does not fail again on its own goes to .../unreplayed/ and is named.
#
# --merge minimises the committed corpus: the inputs of both corpora that add coverage
# replace fuzz/corpus/<harness>/ (commit the result when it is worth it).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=60
runs=-1
timeout=10
merge=0
parallel=$(nproc)
names=()
while [[ $# -gt 0 ]]; do
  case "$1" in
    --seconds) seconds=$2; shift 2 ;;
    --minutes) seconds=$(($2 * 60)); shift 2 ;;
    --runs) runs=$2; seconds=0; shift 2 ;;
    --timeout) timeout=$2; shift 2 ;;
    --merge) merge=1; shift ;;
    --jobs) parallel=$2; shift 2 ;;
    -h|--help) sed -n '2,23p' "$0"; exit 0 ;;
    -*) echo "fuzz.sh: unknown option $1" >&2; exit 2 ;;
    *) names+=("$1"); shift ;;
  esac
done
if [[ ${#names[@]} -eq 0 ]]; then
  for dir in fuzz/corpus/*/; do names+=("$(basename "$dir")"); done
fi

scripts/install-deps.sh
command -v clang++ >/dev/null || {
  echo "fuzz.sh: clang is needed (apt-get install clang)" >&2
  exit 2
}
# The same build as scripts/test-sanitizers.sh: after that, only the harnesses are linked.
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTAVI_FUZZ=ON -DTAVI_CORE_ONLY=ON -DTAVI_BENCHMARKS=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target "${names[@]}"

# The sanitizer runtime intercepts dlopen, which hides the programs' own RUNPATH from the
# library search; point the search at the build's library folder instead. Leaks are not
# what this looks for (Qt and fontconfig keep caches for the life of the process).
export LD_LIBRARY_PATH="$PWD/build-fuzz/lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
export ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# Where a crash input fails, replayed on its own: "libmdb", "ours" or "none" (it did
# not fail again). The first frame that lies in libmdb or has a source line decides:
# the sanitizer's interceptors (iconv's, say) and the system's libraries that libmdb
# calls (the C library, GLib) have none, and our code is built with its lines.
crash_site() {
  local report
  report=$("$1" "$2" 2>&1 || true)
  awk 'BEGIN { site = "none" }
    /^ +#[0-9]+ / && (/libmdb\.so/ || / [^ (]+:[0-9]+(:[0-9]+)?$/) {
      site = /libmdb\.so/ ? "libmdb" : "ours"
      exit
    }
    /^ +#[0-9]+ / { site = "ours" }
    END { print site }' <<<"$report"
}
# Succeeds when a crash input in the findings folder fails in our code. The ones that
# fail inside libmdb are moved aside (libmdb/); so are the ones that do not fail again
# on their own (unreplayed/), which the verdict names for a look by hand.
ours_among_crashes() {
  local harness=$1 findings=$2 crash ours=1 site
  for crash in "$findings"/crash-*; do
    [[ -e $crash ]] || continue
    site=$(crash_site "$harness" "$crash")
    case $site in
      ours) ours=0 ;;
      libmdb | none)
        [[ $site == none ]] && site=unreplayed
        mkdir -p "$findings/$site"
        mv "$crash" "$findings/$site/"
        ;;
    esac
  done
  return $ours
}
set_aside_note() {
  local n
  n=$(ls "$1/libmdb" 2>/dev/null | wc -l)
  [[ $n -eq 0 ]] || echo -n "; $n inputs failed inside libmdb itself (contained by the reader process; in $1/libmdb/)"
  n=$(ls "$1/unreplayed" 2>/dev/null | wc -l)
  [[ $n -eq 0 ]] || echo -n "; $n crash inputs did not fail again on their own (kept in $1/unreplayed/: look at them)"
  echo
}

# One harness: its run, then its verdict on standard output; fails on a finding.
fuzz_one() {
  local name=$1
  local harness=build-fuzz/fuzz/$name corpus=build-fuzz/corpus/$name
  local findings=build-fuzz/findings/$name log=build-fuzz/$name.log
  mkdir -p "$corpus" "$findings"
  if [[ $merge -eq 1 ]]; then
    local merged
    merged=$(mktemp -d)
    "$harness" -merge=1 "$merged" "fuzz/corpus/$name" "$corpus" 2>"build-fuzz/$name.merge.log"
    rm -rf "fuzz/corpus/$name"
    mv "$merged" "fuzz/corpus/$name"
    chmod 755 "fuzz/corpus/$name"
    echo "$name: $(ls "fuzz/corpus/$name" | wc -l) inputs, $(du -sh "fuzz/corpus/$name" | cut -f1)"
    return 0
  fi
  local limits=("-timeout=$timeout" -rss_limit_mb=2048 -print_final_stats=1
    "-artifact_prefix=$findings/")
  if [[ $name == fuzz_dao ]]; then
    # libmdb itself can allocate without end or loop on a damaged catalogue. The programs
    # never run it in their own process: the reader process has a memory and a time
    # limit and its death is an error message (tests/data/fuzz/fuzz_dao/ keeps such a
    # file). Here those are passed over, each in a child of its own. So are memory
    # errors inside libmdb itself, which the reader process contains in the same way
    # (tests/data/fuzz/fuzz_dao/ keeps those it has shown); any other crash is a finding.
    limits+=(-fork=1 -ignore_ooms=1 -ignore_timeouts=1 -ignore_crashes=1)
  fi
  if [[ $runs -ge 0 ]]; then
    limits+=("-runs=$runs")
  else
    limits+=("-max_total_time=$seconds")
  fi
  # The final statistics; in fork mode, the last progress line ("#N: cov: ...").
  executed() {
    grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' ||
      grep -o '^#[0-9]*:' "$log" | tail -1 | tr -d '#:'
  }
  local slow status=0
  "$harness" "${limits[@]}" "$corpus" "fuzz/corpus/$name" >"$log" 2>&1 || status=$?
  if [[ $name == fuzz_dao ]]; then
    # In fork mode libFuzzer exits with the status of its last job, so a hang or an
    # endless allocation passed over just before the time ran out would read as a
    # failure. Once the run has come to its end ("INFO: exiting"), the verdict is the
    # crash inputs it kept.
    if ours_among_crashes "$harness" "$findings"; then
      status=1
    elif grep -q '^INFO: exiting:' "$log"; then
      status=0
    fi
  fi
  if [[ $status -eq 0 ]]; then
    echo "$name: $(executed) runs, no finding$(set_aside_note "$findings")"
  elif slow=$(grep -o "Test unit written to $findings/timeout-[0-9a-f]*" "$log" | awk '{print $NF}') &&
    [[ -n "$slow" ]] && "$harness" "-timeout=$timeout" "$slow" >"$log.again" 2>&1; then
    echo "$name: $(executed) runs; $slow was slow only on the busy machine (no hang on its own)"
    rm -f "$slow"
  else
    echo "$name: FINDING (see $log and $findings/)"
    grep -m3 -E 'ERROR|SUMMARY|runtime error' "$log" || true
    return 1
  fi
}

# The harnesses run side by side, one per processor (each is single-threaded).
pids=()
for name in "${names[@]}"; do
  while [[ $(jobs -rp | wc -l) -ge $parallel ]]; do
    wait -n || true
  done
  fuzz_one "$name" &
  pids+=("$!")
done
failed=()
for i in "${!pids[@]}"; do
  wait "${pids[$i]}" || failed+=("${names[$i]}")
done
if [[ ${#failed[@]} -gt 0 ]]; then
  echo "Findings in: ${failed[*]}"
  exit 1
fi
