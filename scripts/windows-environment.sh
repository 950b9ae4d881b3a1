# Sourced by the Windows scripts: Wine as the Windows API for the programs of build-windows/.
# Expects $WINDOWS_QT_DIR and $build (the Windows build folder); sets up a private Wine prefix
# there, finds the Qt and MinGW runtime DLLs, and stops Wine's server when the script ends.
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
[ -x "$wineserver" ] || wineserver=/usr/lib/wine/wineserver
mingw_runtime=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")
windows_path() { echo "Z:${1//\//\\}"; }

export WINEPREFIX=${WINEPREFIX:-$build/wineprefix}
export WINEARCH=win64 WINEDEBUG=${WINEDEBUG:--all}
# No prompts to install .NET or a browser engine.
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPATH="$(windows_path "$WINDOWS_QT_DIR/bin");$(windows_path "$mingw_runtime");$(windows_path /usr/x86_64-w64-mingw32/lib)"
# Wine passes no variable that starts with QT_; a WINE prefix makes it arrive without one.
# Qt's messages would otherwise go to the debugger channel, and the offscreen platform finds
# no fonts of its own.
export WINEQT_FORCE_STDERR_LOGGING=1
export WINEQT_QPA_FONTDIR=$(windows_path /usr/share/fonts/truetype/dejavu)

stop_wine() { "$wineserver" -k 2>/dev/null || true; }
trap stop_wine EXIT

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    # The first start builds the prefix; without 32-bit Wine it complains about syswow64, harmlessly.
    "$wine" wineboot --init > "$WINEPREFIX/../wineboot.log" 2>&1 || { cat "$WINEPREFIX/../wineboot.log"; exit 1; }
    "$wineserver" -w
fi
