#!/usr/bin/env bash
# Renders the desktop host's windows offscreen to PNG files: the page, the
# field chooser's three tabs, the start view, the preview, the window after a
# run with its results, and the run history on a copy of the demo store, at 1x
# and at 2x (NAME@2x.png). Usage: scripts/screenshots.sh [FOLDER]
# (default docs/screenshots)
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-docs/screenshots}")
# Any configured build folder will do (TIDEWELL_BUILD_DIR); by default the ci preset's.
build=${TIDEWELL_BUILD_DIR:-build/ci}
if [ ! -f "$build/CMakeCache.txt" ]; then
  bash scripts/install-deps.sh --test
  cmake --preset ci >/dev/null
  build=build/ci
fi
cmake --build "$build" --target tidewell-screenshots
QT_QPA_PLATFORM=offscreen "$build/tools/screenshots/tidewell-screenshots" "$out"
QT_QPA_PLATFORM=offscreen QT_SCALE_FACTOR=2 "$build/tools/screenshots/tidewell-screenshots" "$out"
