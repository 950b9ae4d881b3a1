#!/usr/bin/env bash
# The one test command: installs what is missing, builds, and runs every test offscreen.
# QT_VERSION_MAJOR=6 scripts/test.sh does the same against Qt 6, in build-qt6/.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/qt-version.sh
"$PWD/scripts/build.sh" "$@"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$BUILD_DIR" --output-on-failure -j"$(nproc)" --timeout 300
