#!/usr/bin/env bash
# Renders both dialogs from the real dialog classes into docs/screenshots/ for the README.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh >/dev/null
QT_QPA_PLATFORM=offscreen "${BUILD_DIR:-build}/tools/screenshots/dialog-screenshots" docs/screenshots 2>/dev/null
