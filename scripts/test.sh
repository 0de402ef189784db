#!/usr/bin/env bash
# Sets up and runs every test: unit, GUI (offscreen) and end-to-end.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --test
cmake --preset ci
cmake --build --preset ci
ctest --preset ci
