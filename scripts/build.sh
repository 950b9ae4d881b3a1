#!/usr/bin/env bash
# Configures and builds everything into build/ (or $BUILD_DIR) with all cores; against Qt 6 into
# build-qt6/ with QT_VERSION_MAJOR=6.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/qt-version.sh
"$PWD/scripts/setup.sh"
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} -DQT_VERSION_MAJOR="$QT_VERSION_MAJOR" "$@" >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)"
