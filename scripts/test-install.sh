#!/usr/bin/env bash
# The installed program as a user gets it: installs the build into a temporary prefix
# and runs the installed tools on the installed sample project, checks the desktop entry
# and the AppStream metadata, then builds the Debian package and checks it with lintian.
# Run after scripts/test.sh (it uses its build/).
set -euo pipefail
cd "$(dirname "$0")/.."
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install build --prefix "$prefix" >/dev/null
# Somewhere else entirely: the installed tree must stand on its own.
moved=$(mktemp -d)
trap 'rm -rf "$prefix" "$moved"' EXIT
cp -a "$prefix/." "$moved/"
for tree in "$prefix" "$moved"; do
  "$tree/bin/tavi-render" --data "$tree/share/tavi/data" --out "$tree/city.png" --size 400x300 \
    --sites 1
  test -s "$tree/city.png"
  for program in tavi brevo tavi-render tavi-convert tavi-search tavi-serve; do
    "$tree/bin/$program" --version | grep -q "^$program "
  done
  # The reader process of Access files, where the programs look for it.
  reader="$tree/libexec/tavi/tavi-mdb-reader"
  answer=$("$reader" 2>&1 || true)
  [[ "$answer" == *"not by hand"* ]]
done
# Every program is bound at start, its relocations then made read-only (hardening).
for program in "$prefix"/bin/* "$prefix/libexec/tavi/tavi-mdb-reader"; do
  if ! readelf -d "$program" | grep -Eq 'FLAGS.*BIND_NOW|FLAGS_1.*NOW'; then
    echo "$program is not linked with -z now" >&2
    exit 1
  fi
done
# Church Lane (RE0003) lies within 25 metres of the point.
"$moved/bin/tavi-search" --data "$moved/share/tavi/data" --point 496595,370255 --buffer 50 \
  --out "$moved/found.xml"
grep -q "<Zent_Returned_data>" "$moved/found.xml"
# The map service from the copy: it answers on loopback, then ends cleanly on SIGTERM.
"$moved/bin/tavi-serve" --data "$moved/share/tavi/data" --listen 127.0.0.1:0 --workers 1 \
  >"$moved/serve.out" 2>"$moved/serve.err" &
serve_pid=$!
for _ in $(seq 100); do grep -q listening "$moved/serve.out" && break; sleep 0.1; done
url=$(sed -n 's/^tavi-serve: listening on //p' "$moved/serve.out")
curl -fsS "${url}wms?SERVICE=WMS&REQUEST=GetCapabilities" | grep -q "<Name>prehistoric</Name>"
kill -TERM "$serve_pid"
wait "$serve_pid"
# Its systemd unit is installed, and nothing enables it.
test -f "$prefix/lib/systemd/system/tavi-serve.service"
echo "installed tree: programs run from $prefix and from a copy elsewhere"

desktop-file-validate "$prefix"/share/applications/*.desktop
appstreamcli validate --no-net "$prefix"/share/metainfo/*.metainfo.xml
for page in "$prefix"/share/man/man1/*.1.gz; do
  # A page that the formatter cannot read gives warnings on its error stream.
  if zcat "$page" | groff -man -Tutf8 -ww -z 2>&1 | grep -q .; then
    echo "manual page $page does not format cleanly" >&2
    zcat "$page" | groff -man -Tutf8 -ww -z
    exit 1
  fi
done

(cd build && cpack -G DEB >/dev/null)
deb=$(ls build/tavi_*.deb)
# Errors and warnings fail the run, pedantic tags included.
# A clean package gives no line at all, which grep reports as a failure: not one here.
lintian --pedantic --tag-display-limit 0 "$deb" 2>&1 | { grep -v 'root privileges' || true; } |
  tee build/lintian.txt
if grep -Eq '^(E|W):' build/lintian.txt; then
  echo "lintian reports errors or warnings for $deb" >&2
  exit 1
fi
echo "package $deb: lintian finds no errors or warnings"
