#!/usr/bin/env bash
# The viewer started by scripts/run-viewer.sh on a virtual X server of its own, then
# stopped from outside as timeout stops a command (SIGTERM to its whole process group):
# the viewer ends first and writes its settings, and xvfb-run leaves nothing behind in
# the temporary folder. Usage: run_viewer_stop_test.sh RUN_VIEWER TAVI DATA_FOLDER.
# Exit 77 (skipped) when the tools are not installed.
set -uo pipefail
script=$1 tavi=$2 data=$3
for tool in xvfb-run setsid xdotool; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed (scripts/install-deps.sh installs it)"
    exit 77
  fi
done
work=$(mktemp -d)
export HOME=$work/home XDG_CONFIG_HOME=$work/config TMPDIR=$work/tmp
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$TMPDIR"
unset DISPLAY XAUTHORITY
setsid "$script" "$tavi" "$data" >"$work/out" 2>&1 &
group=$!
cleanup() {
  kill -KILL -- "-$group" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# The viewer among the group's processes, and the display it was given.
viewer=
for _ in $(seq 1 240); do
  viewer=$(ps -e -o pid=,comm= | awk '$2 == "tavi" {print $1}')
  for pid in $viewer; do
    env=$({ tr '\0' '\n' <"/proc/$pid/environ"; } 2>/dev/null)
    [[ "$env" == *"XDG_CONFIG_HOME=$XDG_CONFIG_HOME"* ]] && { viewer=$pid; break 2; }
  done
  viewer=
  sleep 0.5
done
[[ -n "$viewer" ]] || { echo "FAIL: the viewer did not start"; cat "$work/out"; exit 1; }
display=$(tr '\0' '\n' <"/proc/$viewer/environ" | sed -n 's/^DISPLAY=//p')
xauth=$(tr '\0' '\n' <"/proc/$viewer/environ" | sed -n 's/^XAUTHORITY=//p')
# Loaded: the control panel shows once the project is in.
for _ in $(seq 1 240); do
  DISPLAY=$display XAUTHORITY=$xauth xdotool search --name "TAVI Control Panel" >/dev/null 2>&1 &&
    break
  sleep 0.5
done

kill -TERM -- "-$group"
for _ in $(seq 1 60); do
  kill -0 "$group" 2>/dev/null || break
  sleep 0.5
done
failed=0
if kill -0 "$group" 2>/dev/null; then
  echo "FAIL: run-viewer.sh still runs 30 s after SIGTERM"
  failed=1
fi
if [[ ! -s "$XDG_CONFIG_HOME/TAVI/TAVI.ini" ]]; then
  echo "FAIL: the viewer did not write its settings"
  failed=1
fi
left=$(find "$TMPDIR" -mindepth 1 -maxdepth 1 -name 'xvfb-run.*')
if [[ -n "$left" ]]; then
  echo "FAIL: xvfb-run left $left"
  failed=1
fi
((failed)) && { cat "$work/out"; exit 1; }
echo "the viewer ended first: settings written, nothing left in the temporary folder"
