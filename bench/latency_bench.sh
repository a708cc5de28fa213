#!/usr/bin/env bash
# Latency as the user feels it: the real windows, offscreen, on a copy of the sample
# project and on a city of about two million vertices with 100,000 sites plotted; for each
# action the median, least and most milliseconds from its input to its picture painted,
# beside the aim (50 ms on the sample, 100 ms on the city), offscreen and, where xvfb-run
# is installed, again through a virtual X server. The flashes pause on purpose between
# their passes: the drawn object's is shown with and without those pauses (the site
# point's blinks have three pauses of 100 ms).
#
#   bench/latency_bench.sh [BUILD_DIR] [REPEAT]   (default build, 7)
set -euo pipefail
build=${1:-build}
repeat=${2:-7}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
uptime

city="$build/bench-latency-city"
[ -f "$city/tavi.zpj" ] ||
  "$build/bin/make_sample_city" --out "$city" --multiply 10 --sites 100000 >/dev/null
# The program may write beside the project: the sample is run from a copy.
cp -r "$build/share/tavi/data" "$work/sample"

run() { # title aim folder [launcher...]
  local title=$1 aim=$2 data=$3
  shift 3
  echo "$title (aim $aim ms):"
  printf '  %-36s %9s %9s %9s\n' action median min max
  "$@" "$build/bin/latency_bench" --data "$data" --repeat "$repeat" 2>&1 |
    awk -v aim="$aim" '
      /^map window/ { print "  " $0; next }
      NF >= 4 && $(NF - 2) ~ /^[0-9.]+$/ {
        name = $1; for (i = 2; i <= NF - 3; ++i) name = name " " $i
        over = ($(NF - 2) + 0 > aim + 0) ? "  over" : ""
        printf "  %-36s %9s %9s %9s%s\n", name, $(NF - 2), $(NF - 1), $NF, over
        next
      }
      /XDG_RUNTIME_DIR/ { next }
      { print "  " $0 }'
}

run "sample project, offscreen 1920 x 1080" 50 "$work/sample"
run "city x10 with 100,000 sites, offscreen 1920 x 1080" 100 "$city"
# The same through a real X server (virtual), where painting reaches the window system.
if command -v xvfb-run >/dev/null; then
  xvfb=(env QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1920x1080x24")
  run "sample project, X server 1920 x 1080" 50 "$work/sample" "${xvfb[@]}"
  run "city x10 with 100,000 sites, X server 1920 x 1080" 100 "$city" "${xvfb[@]}"
fi
uptime
