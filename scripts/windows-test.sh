#!/usr/bin/env bash
# Tests the Windows build under Wine (the Windows API), with the demo server running on Linux:
#   1. every test suite that can run on Windows, through CTest with wine64 as the emulator;
#   2. both programs on the windows platform at 96, 120, 144 and 192 DPI (100 % to 200 %
#      display scaling): each window has its form's geometry, the program's icon and no "?"
#      button, and every text of both dialogs shows whole;
#   3. both programs end to end: diagnostic-tool.exe logs in by itself, then a user name saved
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
set_dpi 96 # the prefix's default, also after a run that stopped half-way through the DPI checks
WINEQT_QPA_PLATFORM=offscreen ctest --test-dir "$build" -j"$(nproc)" --output-on-failure --timeout 300 >"$log" 2>&1 || true
# Each suite's line: "  3/14 Test  #5: tst_cticonnector .....   Passed    9.8 sec" (or ***Failed ...).
while read -r name outcome; do
    if [ "$outcome" = Passed ]; then result OK "$name"; else result FAIL "$name ($outcome)"; fi
done < <(sed -n -E 's/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: ([^ ]+) \.+ *(\*\*\*)?([A-Za-z]+).*/\1 \3/p' "$log")
grep -q 'tests passed' "$log" || result FAIL "CTest ran no suites"
grep -q ', 0 tests failed' "$log" || sed -n '/Start/!p' "$log" | tail -80

echo "== Both programs at 100, 125, 150 and 200 % display scaling, on the windows platform"
for dpi in 96 120 144 192; do
    set_dpi "$dpi"
    checks=$build/dpi-$dpi
    # The real programs: window size in pixels, icon, title bar buttons.
    if "$wine" "$build/tests/windows/tst_programs_win.exe" >"$checks-programs.log" 2>&1; then
        result OK "$dpi DPI: $(grep -E "^PASS: (diagnostic|configuration)-tool at" "$checks-programs.log" | sed 's/^PASS: //' | paste -sd ';' | sed 's/;/; /')"
    else
        result FAIL "$dpi DPI, the programs' windows: $(grep ^FAIL "$checks-programs.log" | paste -sd ';')"
    fi
    # Both dialogs started as the programs start them: every label, field and button text whole.
    WINEQT_QPA_PLATFORM=windows "$wine" "$build/tests/programstart/tst_programstart.exe" >"$checks-texts.log" 2>&1 || true
    if grep -q "^Totals: [0-9]* passed, 0 failed, 0 skipped" "$checks-texts.log"; then
        result OK "$dpi DPI: every text of both dialogs whole ($(sed -n 's/.*platform, \(device pixel ratio [0-9.]*\).*/\1/p' "$checks-texts.log"))"
    else
        result FAIL "$dpi DPI, texts: $(grep -E "^(FAIL|SKIP)" "$checks-texts.log" | head -3 | paste -sd ';')"
    fi
done
set_dpi 96

# The icon Wine gives a program's X window, from its window class: 16 and 32 pixels, each the
# same pixels as that size in the icon the build drew.
shows_icon() {
    local window
    window=$(timeout 30 xdotool search --sync --onlyvisible --classname "$1" | head -1)
    [ -n "$window" ] || return 1
    xprop -id "$window" -notype 32c _NET_WM_ICON >"$build/window-icon.txt"
    python3 - "$build/brenvale-tapi.ico" "$build/window-icon.txt" <<'EOF'
import struct, sys
ico = open(sys.argv[1], 'rb').read()
drawn = {}
for i in range(struct.unpack_from('<H', ico, 4)[0]):
    width, _, _, _, _, _, size, offset = struct.unpack_from('<BBBBHHII', ico, 6 + 16 * i)
    image = ico[offset:offset + size]
    if image[:4] != b'\x89PNG':  # a bitmap: BGRA rows from the bottom up, after a 40-byte header
        rows = [image[40 + r * width * 4:40 + (r + 1) * width * 4] for r in reversed(range(width))]
        drawn[width] = [b | g << 8 | r << 16 | a << 24 for row in rows for b, g, r, a in zip(*[iter(row)] * 4)]
values = [int(v) for v in open(sys.argv[2]).read().split('=', 1)[1].replace(',', ' ').split()]
shown = {}
while values:
    width, height = values[:2]
    shown[width] = values[2:2 + width * height]
    values = values[2 + width * height:]
sys.exit(0 if all(shown.get(size) == drawn[size] for size in (16, 32)) else 1)
EOF
}

echo "== The programs' windows carry the programs' icon"
for program in diagnostic configuration; do
    WINEQT_QPA_PLATFORM=windows "$wine" "$build/src/apps/$program/$program-tool.exe" >"$build/$program-icon.log" 2>&1 &
    if shows_icon "$program-tool.exe"; then
        result OK "$program-tool.exe: its window shows the icon the build drew (16 and 32 pixels)"
    else
        result FAIL "$program-tool.exe: its window does not show the programs' icon"
    fi
done
"$wineserver" -k 2>/dev/null || true
"$wineserver" -w

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
