#!/usr/bin/env bash
# Folders are layers, in the order of layers.txt (bottom first). Reads the sources, the
# CMakeLists.txt files and the README, needs no build, and fails, naming file and line, on
#  - an include from a layer into a folder that is not below it in the list, or into a
#    folder beside the layers (tools/, tests/, ...), in quotes or in angle brackets;
#  - an include from a layer through "..", which the compiler finds beside the including
#    file, past the build's include roots, and whose folder no one reads off;
#  - a link from a layer's target to another layer's library that no file of the layer
#    includes, or to a library beside the layers;
#  - a folder of sources that is neither in the list nor beside the layers, or an entry
#    of the list without its folder;
#  - a README Layout table that does not list the layers in the list's order;
#  - folders that include each other, directly or through others (named as a loop).
# Prints the layers from the bottom up when all holds.
set -euo pipefail
cd "$(dirname "$0")/.."

list=layers.txt
# Built after the layers: they may use any layer, and no layer uses them.
beside="launcher tools fuzz bench tests packaging scripts"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

git ls-files --cached --others --exclude-standard >"$tmp/files"

{
  # The list: every line that is not a comment is an entry, as the build reads it.
  awk '!/^#/ && NF { print "L", FNR, $0 }' "$list"
  # Every folder that holds a file, with its parents.
  awk -F/ '{ d = $1; for (i = 2; i <= NF; i++) { print "D", d; d = d "/" $i } }' "$tmp/files" |
    sort -u
  grep -E '\.(c|cpp|h)$|(^|/)CMakeLists\.txt$' "$tmp/files" | sed 's/^/F /'
  # Every include, quoted or in angle brackets: its file, line, opening mark and header.
  grep -E '\.(c|cpp|h)$' "$tmp/files" | tr '\n' '\0' |
    xargs -0 grep -s -n -H -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]' |
    sed -E 's/^([^:]+):([0-9]+):[^"<]*([<"])([^">]*)[">].*/I \1 \2 \3 \4/' || true
  # The targets each CMakeLists.txt defines, then (all targets known) every library each
  # target links.
  # shellcheck disable=SC2016 # the program is awk's
  grep -E '(^|/)CMakeLists\.txt$' "$tmp/files" | tr '\n' '\0' | xargs -0 awk '
    FNR == 1 { open = 0 }
    {
      line = $0
      sub(/#.*/, "", line)
      if (match(line, /add_(library|executable)[ \t]*\([ \t]*[A-Za-z0-9_.+-]+/)) {
        name = substr(line, RSTART, RLENGTH)
        sub(/.*\([ \t]*/, "", name)
        print "A", name, FILENAME
      }
      if (!open) {
        if (!match(line, /target_link_libraries[ \t]*\(/)) next
        line = substr(line, RSTART + RLENGTH)
        open = 1
        target = ""
      }
      closed = index(line, ")")
      if (closed) line = substr(line, 1, closed - 1)
      n = split(line, word, /[ \t]+/)
      for (k = 1; k <= n; k++) {
        if (word[k] == "") continue
        if (target == "") { target = word[k]; continue }
        if (word[k] ~ /^(PUBLIC|PRIVATE|INTERFACE)$/) continue
        print "T", FILENAME, FNR, target, word[k]
      }
      if (closed) open = 0
    }' | sort -s -k1,1
  # The rows of the README Layout table, one a folder.
  awk '/^## / { inside = ($0 == "## Layout") }
       inside && match($0, /^\| `[^`]+\/` \|/) {
         name = substr($0, 4, RLENGTH - 7)
         print "R", FNR, name
       }' README.md
} >"$tmp/facts"

: >"$tmp/edges"
: >"$tmp/order"
awk -v list="$list" -v beside="$beside" -v edges="$tmp/edges" -v layered="$tmp/order" '
  function fail(where, what) { faults++; print where ": " what }
  # The layer a path lies in; else the folder beside the layers; else the folder that
  # should have been listed (a top-level folder, or a subfolder of a split one).
  function place(path,   n, part, d, j) {
    n = split(path, part, "/")
    d = ""
    for (j = 1; j < n; j++) {
      d = (j == 1 ? part[1] : d "/" part[j])
      if (d in rank) return d
    }
    if (part[1] in aside || n < 2) return part[1]
    if ((part[1] in split_) && n > 2) return part[1] "/" part[2]
    return part[1]
  }
  # A header named from the folder of the file that includes it, as a path from the top.
  function resolved(file, header,   n, part, k, out, m, s) {
    n = split(file "/../" header, part, "/")
    m = 0
    for (k = 1; k <= n; k++) {
      if (part[k] == "" || part[k] == ".") continue
      if (part[k] != "..") out[++m] = part[k]
      else if (m > 0) m--
      else return "outside the tree"
    }
    s = ""
    for (k = 1; k <= m; k++) s = s (k > 1 ? "/" : "") out[k]
    return s
  }
  function kind(f) { return (f in rank) ? "layer" : (f in aside) ? "beside" : "unlisted" }
  BEGIN {
    nb = split(beside, b, " ")
    for (i = 1; i <= nb; i++) aside[b[i]] = 1
  }
  $1 == "L" {
    entry = $3
    if (NF != 3 || entry !~ /^[a-z0-9_]+(\/[a-z0-9_]+)*$/) {
      line = $0; sub(/^L [0-9]+ /, "", line)
      fail(list ":" $2, "not a folder name: " line)
      next
    }
    if (entry in rank) { fail(list ":" $2, entry " is listed twice"); next }
    rank[entry] = ++layers
    order[layers] = entry
    at[entry] = $2
    if (entry ~ /\//) { top = entry; sub(/\/.*/, "", top); split_[top] = 1 }
    next
  }
  $1 == "D" { dir[$2] = 1; next }
  $1 == "F" {
    if ($2 !~ /\//) next
    f = place($2)
    if (kind(f) == "unlisted" && !(f in told)) {
      told[f] = 1
      if (f in split_) fail($2, f "/ is split into layers, and this file is in none of them")
      else fail($2, f "/ holds sources but is neither in " list " nor beside the layers")
    }
    next
  }
  $1 == "I" {
    file = $2; where = $2 ":" $3; header = $5
    shown = ($4 == "<") ? "<" header ">" : header
    from = place(file)
    if (header ~ /(^|\/)\.\.(\/|$)/) {
      if (kind(from) == "layer" && file ~ /\//)
        fail(where, from "/ includes " shown " through ..: name it from the top of the tree (" \
             resolved(file, header) "), where the layer order holds")
      next
    }
    if (header ~ /^zent32i(_binding)?\.h$/) to = "zent32i"
    else if (header !~ /\//) next
    else {
      top = header; sub(/\/.*/, "", top)
      if (!(top in dir)) next
      to = place(header)
    }
    if (to == from || file !~ /\//) next
    if (!((from " " to) in edge)) edge[from " " to] = where
    if (kind(from) != "layer") next
    if (kind(to) == "beside")
      fail(where, from "/ includes " shown ", of " to "/ beside the layers")
    else if (kind(to) != "layer")
      fail(where, from "/ includes " shown ", of " to "/, which is not a layer")
    else if (rank[to] > rank[from])
      fail(where, from "/ includes " shown ", but " to "/ is not below " from "/ in " list)
    else
      needs[from " " to] = 1
    next
  }
  $1 == "A" { owner[$2] = place($3); next }
  $1 == "T" {
    where = $2 ":" $3; target = $4; lib = $5
    if (!(target in owner) || !(lib in owner)) next
    from = owner[target]; to = owner[lib]
    if (from == to || kind(from) != "layer") next
    if (kind(to) == "beside")
      fail(where, target " (" from "/) links " lib ", of " to "/ beside the layers")
    else if (kind(to) == "layer" && !((from " " to) in needs))
      fail(where, target " (" from "/) links " lib " (" to "/), but no file in " from "/ includes " to "/")
    next
  }
  $1 == "R" { rows++; row[rows] = $3; rowat[rows] = $2; next }
  END {
    for (i = 1; i <= layers; i++)
      if (!(order[i] in dir)) fail(list ":" at[order[i]], "no folder " order[i] "/")
    for (i = 1; i <= (rows > layers ? rows : layers); i++) {
      if (row[i] == order[i]) continue
      if (i > rows) fail("README.md", "the Layout table ends before " order[i] "/")
      else if (i > layers) fail("README.md:" rowat[i], "the Layout table lists " row[i] "/ after the last layer")
      else fail("README.md:" rowat[i], "the Layout table lists " row[i] "/ where " list " has " order[i] "/")
      break
    }
    for (e in edge) print e, edge[e] >edges
    for (i = 1; i <= layers; i++) print order[i] >layered
    if (faults) exit 1
  }' "$tmp/facts" >"$tmp/report" || failed=1

# A loop breaks the order somewhere; its steps show where to cut it. Folders beside the
# layers are held to no order, but not to a loop either.
if ! cut -d' ' -f1,2 "$tmp/edges" | tsort >/dev/null 2>"$tmp/loop"; then
  # tsort names each loop's folders in order, each including the next.
  awk 'function flush(  i, a, b) {
         for (i = 1; i <= n; i++) {
           a = step[i]; b = step[i % n + 1]
           print "  " a " -> " b "  (" where[a " " b] ")"
         }
         n = 0
       }
       FNR == NR { where[$1 " " $2] = $3; next }
       /input contains a loop/ { flush(); print "Folders that include each other (a loop):"; next }
       { sub(/^tsort: /, ""); step[++n] = $0 }
       END { flush() }' "$tmp/edges" "$tmp/loop" >>"$tmp/report"
  failed=1
fi

if [[ -n "${failed-}" ]]; then
  cat "$tmp/report"
  echo "The layers, from the bottom up, are those of $list: mend the above or the list."
  exit 1
fi

echo "Layers from the bottom up (each includes and links only layers listed before it):"
sed 's/^/  /' "$tmp/order"
