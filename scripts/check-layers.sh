#!/usr/bin/env bash
# Folders are layers: a top-level folder may include headers of folders below it, never
# of one that includes it back, directly or through others. Reads every #include "x/..."
# of the repository's C and C++ files, prints the folders from the bottom up when they
# form layers, and fails, naming the loop and an include on each of its steps, when two
# or more folders reach each other.
set -euo pipefail
cd "$(dirname "$0")/.."

edges=$(mktemp)
loop=$(mktemp)
trap 'rm -f "$edges" "$loop"' EXIT

# "from to file:line" for every include that crosses from one top-level folder into
# another that exists.
git ls-files --cached --others --exclude-standard -- '*.c' '*.cpp' '*.h' | while read -r file; do
  from=${file%%/*}
  [[ "$from" == "$file" ]] && continue
  # The library's headers are included by their bare names through its include folders.
  grep -n -E '^[[:space:]]*#[[:space:]]*include[[:space:]]+"' "$file" |
    sed -E -e 's/^([0-9]+):[^"]*"zent32i(_binding)?\.h".*/\1 zent32i/' \
           -e 's/^([0-9]+):[^"]*"([^"/]+)\/.*/\1 \2/' |
    grep -E '^[0-9]+ [^ ]+$' |
    while read -r line to; do
      [[ "$to" != "$from" && -d "$to" ]] && echo "$from $to $file:$line"
    done || true
done | sort -u -k1,2 >"$edges"

# tsort lists a folder after every folder that includes it, and says which folders form
# a loop when there is one.
if ! order=$(cut -d' ' -f1,2 "$edges" | tsort 2>"$loop"); then
  # The folders tsort names; the includes between them are the loop's steps.
  members=" $(sed -n 's/^tsort: //p' "$loop" | grep -v 'input contains a loop' | tr '\n' ' ')"
  echo "Folders that include each other (a loop of layers):"
  while read -r from to where; do
    [[ "$members" == *" $from "* && "$members" == *" $to "* ]] && echo "  $from -> $to  ($where)"
  done <"$edges"
  exit 1
fi
echo "Layers from the bottom up (each includes only folders listed before it):"
echo "$order" | tac | sed 's/^/  /'
