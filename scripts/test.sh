#!/usr/bin/env bash
# The one test command: installs what is missing, builds, and runs every test offscreen.
set -euo pipefail
cd "$(dirname "$0")/.."
"$PWD/scripts/build.sh" "$@"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure -j"$(nproc)" --timeout 300
