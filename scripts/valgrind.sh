#!/usr/bin/env bash
# Runs diagnostic-tool offscreen under valgrind's memcheck: it logs in to the demo server,
# then is asked to end (SIGTERM closes its dialog cleanly). Fails on any invalid read, write
# or free; the full report is in build/valgrind/memcheck.log.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/qt-version.sh
scripts/setup.sh valgrind
scripts/build.sh >/dev/null
build=$BUILD_DIR
work="$PWD/$build/valgrind"
source scripts/demo-environment.sh
start_demo_environment "$work"

start=$SECONDS
QT_QPA_PLATFORM=offscreen valgrind --tool=memcheck --leak-check=no --num-callers=40 \
    --log-file="$work/memcheck.log" "$build/src/apps/diagnostic/diagnostic-tool" 2>"$work/diagnostic-tool.log" &
tool=$!
echo "diagnostic-tool under memcheck; it connects by itself within 10 seconds of its start ..."
until grep -q ':: status: Logged in"' "$work/diagnostic-tool.log" 2>/dev/null; do
    kill -0 "$tool" 2>/dev/null || { echo "diagnostic-tool ended early." >&2; exit 1; }
    [ $((SECONDS - start)) -lt 300 ] || { echo "No login within 300 seconds." >&2; exit 1; }
    sleep 0.5
done
echo "Logged in after $((SECONDS - start)) s; asking it to end."
kill -TERM "$tool"
status=0
wait "$tool" || status=$?
tool=""
grep -q 'status: Disconnected from server' "$work/diagnostic-tool.log" || { echo "No clean close." >&2; exit 1; }
grep 'ERROR SUMMARY' "$work/memcheck.log"
if grep -E -q 'Invalid (read|write|free)|Mismatched free|Source and destination overlap' "$work/memcheck.log"; then
    echo "memcheck found invalid memory accesses: see $work/memcheck.log" >&2
    exit 1
fi
[ "$status" -eq 0 ] || { echo "diagnostic-tool exited with $status." >&2; exit 1; }
echo "memcheck: no invalid reads or writes; exit code 0 (in $((SECONDS - start)) s)."
