#!/usr/bin/env bash
# Installs what is missing, configures and builds as scripts/test.sh does, then starts the
# viewer. It shows the data folder the settings name, the sample project by default.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
# Only when DISPLAY is unset (a console, a container, a CI job) does the viewer run on a
# virtual X server of its own; with a display it opens there as any program does.
exec scripts/run-viewer.sh build/bin/tavi
