#!/usr/bin/env bash
# Builds the zip an administrator unzips to install the programs, build-windows/
# BrenvaleTAPITools-<version>-x64.zip: both programs with the Qt and MinGW runtime DLLs, the
# platform plugin and a qt.conf (the layout of cmake/windows-runtime.cmake); the programs signed
# when WINDOWS_SIGNING_CERTIFICATE names a certificate (see scripts/windows-sign.sh). Then checks it:
# unzipped into an empty folder of a clean Wine prefix, with no Qt on the path, both programs
# start and diagnostic-tool.exe logs in to the Linux demo server. Ends with "N passed, M failed".
set -euo pipefail
cd "$(dirname "$0")/.."
export WINDOWS_QT_DIR=${WINDOWS_QT_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/brenvale-tapi/windows-qt}
scripts/windows-build.sh >/dev/null
scripts/setup.sh zip unzip osslsigncode wine64 fonts-wine xvfb x11-utils xdotool
cmake -S . -B build >/dev/null
cmake --build build --target cti-demo-server -j"$(nproc)" >/dev/null
build=$PWD/build-windows
work=$build/package
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
name=BrenvaleTAPITools-$version-x64
zip=$build/$name.zip

rm -rf "$work" "$zip"
cmake --install "$build" --prefix "$work/$name" >/dev/null
# Debian's MinGW runtime and Qt keep their debugging sections; nobody debugs from the zip.
find "$work/$name" \( -name '*.dll' -o -name '*.exe' \) -exec x86_64-w64-mingw32-strip --strip-debug {} +
scripts/windows-sign.sh "$work/$name/diagnostic-tool.exe" "$work/$name/configuration-tool.exe"
(cd "$work" && zip -qr "$zip" "$name")
echo "Wrote $zip ($(du -h "$zip" | cut -f1)):"
unzip -Z1 "$zip" | sed 's/^/  /'

echo "== The zip in a clean Wine prefix"
export WINEPREFIX=$work/prefix
source scripts/windows-environment.sh
source scripts/demo-environment.sh
trap 'stop_demo_environment; stop_windows_environment' EXIT
# Only what the zip brings: no Qt, no MinGW runtime from the build machine.
unset WINEPATH WINEQT_QPA_FONTDIR
start_display
folder="$WINEPREFIX/drive_c/Program Files/Brenvale TAPI Tools"
mkdir -p "$folder"
unzip -q "$zip" -d "$folder"
start_demo_environment "$work/demo" "$settings"
program="$(windows_path "$folder/$name")"

if signed_as_configured "$folder/$name/diagnostic-tool.exe" "$folder/$name/configuration-tool.exe"; then
    result OK "both programs in the zip are $(signing_state)"
else
    result FAIL "the zip's programs are not $(signing_state)"
fi

"$wine" "$program\\diagnostic-tool.exe" >"$work/diagnostic-tool.log" 2>&1 &
tool=$!
started=$SECONDS
if wait_for 40 stored_is message "Logged in"; then
    result OK "diagnostic-tool.exe from the zip logged in after $((SECONDS - started)) s"
else
    result FAIL "diagnostic-tool.exe from the zip did not log in within 40 s; stored status: $(stored message)"
    tail -5 "$work/diagnostic-tool.log"
fi
"$wine" "$program\\configuration-tool.exe" >"$work/configuration-tool.log" 2>&1 &
if wait_for 30 xdotool search --onlyvisible --name 'TAPI Treiber Konfiguration' >/dev/null; then
    result OK "configuration-tool.exe from the zip shows its dialog"
else
    result FAIL "configuration-tool.exe from the zip showed no dialog within 30 s"
    tail -5 "$work/configuration-tool.log"
fi

closing_count
