# Sourced by the Windows scripts: Wine as the Windows API for the programs of a Windows build.
# Expects $WINDOWS_QT_DIR and $build (the Windows build folder); uses a private Wine prefix
# there ($WINEPREFIX overrides it), finds the Qt and MinGW runtime DLLs, and stops Wine (and
# the virtual display of start_display) with stop_windows_environment, on exit by default.
# Also the scripts' common checks: result, stored, wait_for and the closing count.
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
[ -x "$wineserver" ] || wineserver=/usr/lib/wine/wineserver
windows_path() { echo "Z:${1//\//\\}"; }
mingw_runtime=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")

export WINEPREFIX=${WINEPREFIX:-$build/wineprefix}
export WINEARCH=win64 WINEDEBUG=${WINEDEBUG:--all}
# No prompts to install .NET or a browser engine, and a program that crashes ends instead of
# waiting in Wine's debugger.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
export WINEPATH="$(windows_path "$WINDOWS_QT_DIR/bin");$(windows_path "$mingw_runtime");$(windows_path /usr/x86_64-w64-mingw32/lib)"
# Wine passes no variable that starts with QT_; a WINE prefix makes it arrive without one.
# Qt's messages would otherwise go to the debugger channel, and the offscreen platform finds
# no fonts of its own.
export WINEQT_FORCE_STDERR_LOGGING=1
export WINEQT_QPA_FONTDIR=$(windows_path /usr/share/fonts/truetype/dejavu)
# Qt's plugins (platforms, styles, image formats) from the Qt the build uses, whatever the
# current drive of a program is.
export WINEQT_PLUGIN_PATH=$(windows_path "$WINDOWS_QT_DIR/plugins")

xvfb=""
stop_windows_environment() {
    "$wineserver" -k 2>/dev/null || true
    [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
}
trap stop_windows_environment EXIT

# A virtual X display for the windows platform plugin. Wine keeps the display it started with,
# so this comes before any Windows program runs.
start_display() {
    local n=90
    while [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    export DISPLAY=":$n"
    for _ in $(seq 100); do
        xdpyinfo >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    echo "Xvfb did not start on $DISPLAY." >&2
    return 1
}

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    # The first start builds the prefix; without 32-bit Wine it complains about syswow64, harmlessly.
    "$wine" wineboot --init > "$WINEPREFIX/wineboot.log" 2>&1 || { cat "$WINEPREFIX/wineboot.log"; exit 1; }
    "$wineserver" -w
fi
# Wine looks for its own fonts (Tahoma behind "MS Shell Dlg 2") in the prefix only. Without them
# it draws dialogs in a substitute with a 46-pixel line height, and every control grows to fit.
if [ ! -f "$WINEPREFIX/drive_c/windows/Fonts/tahoma.ttf" ]; then
    cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
fi

# set_dpi DPI: the screen's DPI for the Windows programs started afterwards, as a user's display
# scaling sets it (LogPixels: 96 is 100 %, 120 is 125 %, 144 is 150 %, 192 is 200 %). Stops
# what runs in the prefix, so that every program starts with the new value.
set_dpi() {
    "$wine" reg add 'HKEY_CURRENT_USER\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
    "$wineserver" -k 2>/dev/null || true
    "$wineserver" -w
}

# The settings file of the prefix: where both programs keep their settings (C:\ProgramData\...).
settings="$WINEPREFIX/drive_c/ProgramData/Brenvale Europe GmbH/BrenvaleTAPIDriver.ini"
stored() { tr -d '\r' <"$settings" 2>/dev/null | sed -n "s/^$1=//p"; }
stored_is() { [ "$(stored "$1")" = "$2" ]; }
# wait_for SECONDS COMMAND...: true once the command succeeds, false when the time is up.
wait_for() {
    local until=$((SECONDS + $1))
    shift
    until "$@"; do
        [ $SECONDS -lt $until ] || return 1
        sleep 0.2
    done
}

# signed_as_configured FILE...: every file carries a signature when WINDOWS_SIGNING_CERTIFICATE
# names a certificate (see scripts/windows-sign.sh), and none does otherwise.
signed_as_configured() {
    local file signature
    signature=$(mktemp)
    for file in "$@"; do
        rm -f "$signature"
        if osslsigncode extract-signature -in "$file" -out "$signature" >/dev/null 2>&1; then
            [ -n "${WINDOWS_SIGNING_CERTIFICATE:-}" ] || { rm -f "$signature"; return 1; }
        else
            [ -z "${WINDOWS_SIGNING_CERTIFICATE:-}" ] || { rm -f "$signature"; return 1; }
        fi
    done
    rm -f "$signature"
}
signing_state() {
    if [ -n "${WINDOWS_SIGNING_CERTIFICATE:-}" ]; then
        echo "signed with $WINDOWS_SIGNING_CERTIFICATE"
    else
        echo "unsigned, as no certificate was given"
    fi
}

passed=0
failed=0
# result OK|FAIL WHAT: one line per check; closing_count prints "N passed, M failed".
result() {
    echo "$1: $2"
    if [ "$1" = OK ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
}
closing_count() {
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
}
