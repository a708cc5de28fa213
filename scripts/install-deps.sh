#!/usr/bin/env bash
# Installs, with apt-get, only the Debian packages this project needs that are missing.
# Quiet when everything is already present. Uses sudo only when not root.
set -euo pipefail

packages=(
  g++ cmake make pkg-config ninja-build clang-format clang
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev
  libgdal-dev gdal-bin libgeos-dev
  mdbtools-dev mdbtools xz-utils
  libshp-dev
  libsqlite3-dev sqlite3
  libpq-dev postgresql
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xdotool x11-utils openbox
  at-spi2-core python3-pyatspi dbus-daemon
  fonts-liberation2 fonts-urw-base35 fontconfig
  python3 python3-xlrd
  libmicrohttpd-dev libpng-dev curl nginx-light python3-gdal python3-numpy python3-qgis
  poppler-utils imagemagick
  chromium chromium-driver python3-selenium libjs-leaflet
  desktop-file-utils appstream lintian dpkg-dev groff-base
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
echo "Installing missing packages: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
