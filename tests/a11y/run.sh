#!/usr/bin/env bash
# Runs the accessibility walk (walk.py) on its own session bus and X server: the viewer
# and the test meet on the accessibility bus that the session bus starts on demand.
# Usage: run.sh TAVI DATA_FOLDER. Exit 77 (skipped) when the machinery is not installed.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
python=/usr/bin/python3 # the system's: pyatspi is a Debian package, not a pip one
for tool in dbus-run-session xvfb-run xdotool "$python"; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed (scripts/install-deps.sh installs it)"
    exit 77
  fi
done
if ! "$python" -c 'import pyatspi' 2>/dev/null; then
  echo "SKIP: python3-pyatspi is not installed (scripts/install-deps.sh installs it)"
  exit 77
fi
if [[ ! -e /usr/share/dbus-1/services/org.a11y.Bus.service ]]; then
  echo "SKIP: at-spi2-core is not installed (scripts/install-deps.sh installs it)"
  exit 77
fi
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
# A home of its own: no stored settings, no desktop's accessibility settings.
export HOME=$home XDG_CONFIG_HOME=$home/.config XDG_RUNTIME_DIR=$home/run
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
export NO_AT_BRIDGE=0 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1
unset DBUS_SESSION_BUS_ADDRESS AT_SPI_BUS_ADDRESS
# The X server first: the session bus, and the accessibility bus and registry it starts,
# must know the display to deliver the test's key presses and clicks to it.
exec xvfb-run -a -s "-screen 0 1600x1000x24" dbus-run-session -- \
  "$python" "$here/walk.py" "$@"
