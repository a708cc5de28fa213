#!/usr/bin/env bash
# The long random session: 10,000 random user actions on the real windows (offscreen),
# with a seed printed for replaying. Usage: scripts/random-session.sh [ACTIONS] [SEED]
# Run after scripts/test.sh (it uses its build/); set ASAN=1 to run the sanitizer build's
# windows instead (configure build-asan-gui with -DTAVI_SANITIZE=ON first).
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
[[ "${ASAN:-0}" == 1 ]] && build=build-asan-gui
export QT_QPA_PLATFORM=offscreen
export TAVI_SESSION_ACTIONS="${1:-10000}"
[[ -n "${2:-}" ]] && export TAVI_SESSION_SEED="$2"
cd "$build/tests"
exec ./app_tests --gtest_filter='RandomSession.*'
