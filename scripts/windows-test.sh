#!/usr/bin/env bash
# Tests the Windows build under Wine (the Windows API), with the demo server running on Linux:
#   1. every test suite that can run on Windows, through CTest with wine64 as the emulator;
#   2. both programs end to end: diagnostic-tool.exe logs in by itself, then a user name saved
#      in configuration-tool.exe (typed into its real window) reaches the running client.
# Builds what is missing first (scripts/windows-build.sh). Ends with "N passed, M failed".
set -euo pipefail
cd "$(dirname "$0")/.."
export WINDOWS_QT_DIR=${WINDOWS_QT_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/brenvale-tapi/windows-qt}
scripts/windows-build.sh
scripts/setup.sh wine64 fonts-wine xvfb x11-utils xdotool
# The demo server of the end-to-end run is the Linux one.
cmake -S . -B build >/dev/null
cmake --build build --target cti-demo-server -j"$(nproc)" >/dev/null
build=$PWD/build-windows
source scripts/windows-environment.sh
source scripts/demo-environment.sh
trap 'stop_demo_environment; stop_windows_environment' EXIT
start_display

echo "== Test suites under $("$wine" --version)"
echo "Not on Windows: tst_privateprofile (the INI functions Linux needs; Windows has its own),"
echo "  tst_grantfullaccess (the folder rights of Linux; tst_grantfullaccess_win tests the Windows body),"
echo "  tst_terminationwatcher (SIGTERM; Windows asks a program's windows to close itself)."
log=$build/ctest.log
WINEQT_QPA_PLATFORM=offscreen ctest --test-dir "$build" -j"$(nproc)" --output-on-failure --timeout 300 >"$log" 2>&1 || true
# Each suite's line: "  3/14 Test  #5: tst_cticonnector .....   Passed    9.8 sec" (or ***Failed ...).
while read -r name outcome; do
    if [ "$outcome" = Passed ]; then result OK "$name"; else result FAIL "$name ($outcome)"; fi
done < <(sed -n -E 's/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: ([^ ]+) \.+ *(\*\*\*)?([A-Za-z]+).*/\1 \3/p' "$log")
grep -q 'tests passed' "$log" || result FAIL "CTest ran no suites"
grep -q ', 0 tests failed' "$log" || sed -n '/Start/!p' "$log" | tail -80

echo "== Both programs end to end, against the Linux demo server"
rm -f "$settings"
start_demo_environment "$build/e2e" "$settings"
WINEQT_QPA_PLATFORM=offscreen "$wine" "$build/src/apps/diagnostic/diagnostic-tool.exe" >"$build/e2e/diagnostic-tool.log" 2>&1 &
tool=$!
started=$SECONDS
if wait_for 40 stored_is message "Logged in"; then
    result OK "diagnostic-tool.exe logged in by itself after $((SECONDS - started)) s (C:\\ProgramData\\...\\BrenvaleTAPIDriver.ini)"
else
    result FAIL "diagnostic-tool.exe did not log in within 40 s; stored status: $(stored message)"
fi

# configuration-tool.exe on the windows platform, in a Wine desktop window that takes the
# keyboard once clicked: its server field has the focus; Tab, a new user name, Return for OK.
WINEQT_QPA_PLATFORM=windows "$wine" explorer /desktop=e2e,800x600 \
    "$(windows_path "$build/src/apps/configuration/configuration-tool.exe")" >"$build/e2e/configuration-tool.log" 2>&1 &
desktop=$(xdotool search --sync --onlyvisible --name '^e2e' | head -1)
sleep 3 # until the dialog is drawn inside the desktop window
xdotool mousemove --window "$desktop" 400 300 click 1
xdotool key --delay 100 Tab
xdotool type --delay 50 demo2
xdotool key Return
saved=$SECONDS
if wait_for 10 stored_is userName demo2; then
    result OK "configuration-tool.exe stored the user name demo2"
else
    result FAIL "configuration-tool.exe did not store the new user name (userName=$(stored userName))"
fi
if wait_for 15 grep -q '"user":"demo2"' "$build/e2e/server.log" && wait_for 2 stored_is changed false; then
    result OK "the running diagnostic-tool.exe logged in as demo2 $((SECONDS - saved)) s after OK"
else
    result FAIL "the running diagnostic-tool.exe did not pick up the new user name within 15 s"
fi

closing_count
