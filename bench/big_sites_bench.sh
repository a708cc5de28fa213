#!/usr/bin/env bash
# A site list of a million records: writes the sample project with that many sites (an
# SQLite site list), then prints the median times (wall clock, and processor time, which a
# machine busy with other work disturbs less) of a tavi-search point search beside the
# sqlite3 shell reading the same table (the columns the plot places a point by, and every
# column, which the found rows show), runs interleaved, and the search's peak resident
# size.
#
#   bench/big_sites_bench.sh [BUILD_DIR] [SITES] [RUNS]   (default build, 1000000, 5)
set -euo pipefail
build=${1:-build}
sites=${2:-1000000}
runs=${3:-5}
data="$build/bench-big-sites-$sites"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
uptime

[ -f "$data/tavi.zpj" ] || "$build/bin/make_sample_city" --out "$data" --sites "$sites" >/dev/null
db="$data/tavidata.sqlite"
# The middle of the city: a 100 m buffer finds a few hundred sites there.
search=("$build/bin/tavi-search" --data "$data" --point 496400,370000 --out "$out/found.xml")
plot_columns='SELECT NGS, xcoord, ycoord, LEVEL FROM TAVIsitelist ORDER BY _rowid_'
all_columns='SELECT * FROM TAVIsitelist ORDER BY _rowid_'

# Each run's wall-clock and processor seconds (user and system), and peak resident size.
timed() { /usr/bin/time -f '%e %U %S %M' -o "$out/time" "$@" >/dev/null && cat "$out/time"; }
declare -a s_wall s_cpu p_wall p_cpu a_wall a_cpu s_rss
for ((i = 0; i < runs; ++i)); do
  read -r w u k _ < <(timed sqlite3 "$db" "$plot_columns")
  p_wall+=("$w"); p_cpu+=("$(echo "$u + $k" | bc -l)")
  read -r w u k m < <(timed "${search[@]}")
  s_wall+=("$w"); s_cpu+=("$(echo "$u + $k" | bc -l)"); s_rss+=("$m")
  read -r w u k _ < <(timed sqlite3 "$db" "$all_columns")
  a_wall+=("$w"); a_cpu+=("$(echo "$u + $k" | bc -l)")
done

median() { printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
rows=$("${search[@]}")
sw=$(median "${s_wall[@]}") sc=$(median "${s_cpu[@]}")
line() { # label wall cpu: beside the search's
  printf '  %-26s %7.2f s wall %7.2f s cpu   search %5.2fx wall %5.2fx cpu\n' "$1" "$2" "$3" \
    "$(echo "$sw / $2" | bc -l)" "$(echo "$sc / $3" | bc -l)"
}
printf 'site list of %d records, point search (%s), medians of %d interleaved runs:\n' \
  "$sites" "$rows" "$runs"
printf '  %-26s %7.2f s wall %7.2f s cpu\n' "tavi-search --point" "$sw" "$sc"
line "sqlite3, the plot's columns" "$(median "${p_wall[@]}")" "$(median "${p_cpu[@]}")"
line "sqlite3, every column" "$(median "${a_wall[@]}")" "$(median "${a_cpu[@]}")"
printf '  tavi-search peak resident %7.1f MB\n' "$(echo "$(median "${s_rss[@]}") / 1024" | bc -l)"
uptime
