#!/usr/bin/env bash
# Runs diagnostic-tool against the demo server, with settings in a demo program-data folder
# inside the build tree (never the real one). Prints each status text the tool stores.
# Without a display the tool runs offscreen and the demo ends once it has logged in.
# QT_VERSION_MAJOR=6 runs the Qt 6 build.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/qt-version.sh
scripts/build.sh >/dev/null
build=$BUILD_DIR
demo="$PWD/$build/demo"
source scripts/demo-environment.sh
start_demo_environment "$demo"
echo "Demo server: ws://127.0.0.1:$port/cti (log: $demo/server.log)"
echo "Settings:    $settings"

offscreen=""
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    offscreen=yes
    export QT_QPA_PLATFORM=offscreen
    echo "No display: the tool runs offscreen and connects by itself within 10 seconds."
else
    echo "Press \"Testverbindung\" (or wait 10 seconds); close the dialog to end the demo."
fi
echo "Tool log:    $demo/diagnostic-tool.log"

"$build/src/apps/diagnostic/diagnostic-tool" 2>"$demo/diagnostic-tool.log" &
tool=$!

# Every status report is also a log line: "... [Verbose] [...]:: status: Logged in".
deadline=$((SECONDS + 30))
shown=0
while kill -0 "$tool" 2>/dev/null; do
    mapfile -t statuses < <(sed -n 's/.*\]:: status: \(.*\)"$/\1/p' "$demo/diagnostic-tool.log")
    for ((i = shown; i < ${#statuses[@]}; i++)); do echo "Status: ${statuses[i]}"; done
    shown=${#statuses[@]}
    if [ -n "$offscreen" ]; then
        [ "$shown" -gt 0 ] && [ "${statuses[shown - 1]}" = "Logged in" ] && break
        [ $SECONDS -ge $deadline ] && { echo "No login within 30 seconds." >&2; exit 1; }
    fi
    sleep 0.1
done
