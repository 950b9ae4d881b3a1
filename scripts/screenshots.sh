#!/usr/bin/env bash
# Renders both dialogs from the real dialog classes into docs/screenshots/ for the README:
#   scripts/screenshots.sh           on Qt's offscreen platform: the client area, *.png (of the
#                                    Qt 6 build with QT_VERSION_MAJOR=6)
#   scripts/screenshots.sh windows   as Windows draws them, frame and title bar included: the
#                                    Windows build under Wine, in a Wine desktop window on a
#                                    virtual display, *-windows.png, and the diagnostic dialog
#                                    at 150 % display scaling, diagnostic-tool-windows-144dpi.png
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" != windows ]; then
    source scripts/qt-version.sh
    scripts/build.sh >/dev/null
    QT_QPA_PLATFORM=offscreen "$BUILD_DIR/tools/screenshots/dialog-screenshots" docs/screenshots 2>/dev/null
    exit 0
fi
export WINDOWS_QT_DIR=${WINDOWS_QT_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/brenvale-tapi/windows-qt}
scripts/windows-build.sh >/dev/null
scripts/setup.sh wine64 fonts-wine xvfb x11-utils
build=$PWD/build-windows
source scripts/windows-environment.sh
start_display
shots=$build/screenshots
rm -rf "$shots"
for dpi in 96 144; do
    set_dpi "$dpi"
    mkdir -p "$shots/$dpi"
    WINEQT_QPA_PLATFORM=windows "$wine" explorer /desktop=screenshots,640x480 \
        "$(windows_path "$build/tools/screenshots/dialog-screenshots.exe")" "$(windows_path "$shots/$dpi")" >/dev/null 2>&1
done
set_dpi 96
for dialog in diagnostic-tool configuration-tool; do
    cp "$shots/96/$dialog.png" "docs/screenshots/$dialog-windows.png"
    echo "Wrote docs/screenshots/$dialog-windows.png"
done
cp "$shots/144/diagnostic-tool.png" docs/screenshots/diagnostic-tool-windows-144dpi.png
echo "Wrote docs/screenshots/diagnostic-tool-windows-144dpi.png"
