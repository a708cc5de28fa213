#!/usr/bin/env bash
# Starts the built viewer (scripts/run.sh builds it first): on the display there is, or,
# when DISPLAY is unset (a console, a container, a CI job), on a virtual X server of its
# own. Usage: run-viewer.sh TAVI [ARGUMENTS...]
#
# Stopped from outside (Ctrl+C, kill, timeout), the viewer is ended first: it closes its
# window and writes its settings, and only then does xvfb-run end its server and remove
# its folder in /tmp. The server runs in a session of its own so that a signal sent to
# the whole process group (timeout sends one) does not end it under the viewer, which
# would then die with its settings unwritten and the folder left behind.
set -uo pipefail
tavi=$1
shift
if [[ -n "${DISPLAY:-}" ]]; then
  exec "$tavi" "$@"
fi
pidfile=$(mktemp)
setsid xvfb-run -a sh -c 'echo $$ >"$0"; exec "$@"' "$pidfile" "$tavi" "$@" &
runner=$!
stopping=0
end_viewer() {
  local pid
  pid=$(cat "$pidfile" 2>/dev/null)
  [[ -n "$pid" ]] && kill -TERM "$pid" 2>/dev/null
}
trap 'stopping=1; end_viewer' TERM INT HUP
status=0
while :; do
  wait "$runner"
  status=$?
  kill -0 "$runner" 2>/dev/null || break
  # A signal woke the wait; the viewer may not have been started yet when it came.
  if ((stopping)); then
    sleep 0.2
    end_viewer
  fi
done
rm -f "$pidfile"
exit "$status"
