#!/usr/bin/env bash
# Builds the MSI for administrators, build-windows/BrenvaleTAPITools-<version>-x64.msi, with wixl
# from packaging/windows/ and the programs as `cmake --install` lays them out; then tests it in
# a fresh Wine prefix: install, the installed diagnostic-tool.exe logging in to the Linux demo
# server, installing again and upgrading to a higher version, and uninstalling, which must keep
# the settings file and the log file. Ends with "N passed, M failed".
set -euo pipefail
shopt -s inherit_errexit
cd "$(dirname "$0")/.."
export WINDOWS_QT_DIR=${WINDOWS_QT_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/brenvale-tapi/windows-qt}
scripts/windows-build.sh >/dev/null
scripts/setup.sh wixl msitools wine64 fonts-wine xvfb x11-utils xdotool imagemagick
cmake -S . -B build >/dev/null
cmake --build build --target cti-demo-server -j"$(nproc)" >/dev/null
build=$PWD/build-windows
work=$build/msi
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")

# make_msi VERSION: the MSI of the current build under that version number.
make_msi() {
    local msi=$work/BrenvaleTAPITools-$1-x64.msi stage=$work/stage
    rm -rf "$stage"
    cmake --install "$build" --prefix "$stage" >/dev/null
    find "$stage" \( -name '*.dll' -o -name '*.exe' \) -exec x86_64-w64-mingw32-strip --strip-debug {} +
    find "$stage" -type f | sort | wixl-heat --prefix "$stage/" --var var.SourceDir \
        --component-group ProgramFiles --directory-ref INSTALLDIR --win64 >"$work/files.wxs"
    # wixl takes the files' sources relative to where it runs.
    (cd "$work" && wixl -a x64 -D Version="$1" -D SourceDir=stage -D Win64=yes -o "$msi" \
        "$OLDPWD/packaging/windows/brenvale-tapi-tools.wxs" files.wxs) >&2
    # wixl has no element for folder rights: Windows Installer's own table gives Everyone full,
    # inheritable access to the settings folder, as the programs do before they write there.
    msibuild "$msi" -i packaging/windows/MsiLockPermissionsEx.idt >&2
    echo "$msi"
}
rm -rf "$work"
mkdir -p "$work"
msi=$(make_msi "$version")
cp "$msi" "$build/"
echo "Wrote $build/$(basename "$msi") ($(du -h "$msi" | cut -f1))"
# A rebuild with a higher version, for the upgrade.
next_version=${version%.*}.$((${version##*.} + 1))
next_msi=$(make_msi "$next_version")

echo "== The MSI in a fresh Wine prefix"
export WINEPREFIX=$work/prefix
source scripts/windows-environment.sh
source scripts/demo-environment.sh
trap 'stop_demo_environment; stop_windows_environment' EXIT
unset WINEPATH WINEQT_QPA_FONTDIR # only what the MSI brings
start_display
drive=$WINEPREFIX/drive_c
installed="$drive/Program Files/Brenvale Europe GmbH/TAPI Tools"
driver_key='HKLM\SOFTWARE\Wow6432Node\Brenvale Europe GmbH\BrenvaleTAPIDriver\UserData'
runs=0
msiexec() {
    runs=$((runs + 1))
    "$wine" msiexec "$@" '/l*v' "$(windows_path "$work/msiexec-$runs.log")" >/dev/null 2>&1
}
# A folder as the installer resolved it in its last run, as a path of this system.
installer_folder() {
    local folder
    folder=$(tr -d '\r\0' <"$work/msiexec-$runs.log" | sed -n "s/^Property(S): $1 = //p" | tail -1)
    folder=${folder//\\//}
    echo "$drive/${folder#C:/}"
}
reg_value() { "$wine" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_SZ *//p"; }
# The entries of "Apps & features", as DisplayName|DisplayVersion|Publisher lines.
apps() {
    "$wine" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null | tr -d '\r' \
        | awk '/^HKEY/ { if (n) print n "|" v "|" p; n = v = p = "" }
               /DisplayName /    { sub(/.*REG_SZ +/, ""); n = $0 }
               /DisplayVersion / { sub(/.*REG_SZ +/, ""); v = $0 }
               /Publisher /      { sub(/.*REG_SZ +/, ""); p = $0 }
               END { if (n) print n "|" v "|" p }' | grep '^Brenvale TAPI Tools|' || true
}

# The telephony driver's own value, which the MSI must neither write nor remove.
"$wine" reg add "$driver_key" /v installationDir /t REG_SZ /d 'C:\Driver' /f >/dev/null 2>&1

if msiexec /i "$(windows_path "$msi")" /qn; then result OK "msiexec /i $(basename "$msi") /qn"; else result FAIL "msiexec /i exited with $?"; fi
# Windows puts a per-machine product's shortcuts into the Start menu of all users; Wine's
# installer, ALLUSERS=1 notwithstanding, into the user's own.
menu="$(installer_folder ProgramMenuFolder)Brenvale TAPI Tools"
expected=$(cd "$work/stage" && find . -type f | sort)
if [ "$(cd "$installed" 2>/dev/null && find . -type f | sort)" = "$expected" ]; then
    result OK "the programs, their runtime and plugins are in C:\\Program Files\\Brenvale Europe GmbH\\TAPI Tools"
else
    result FAIL "the installed files differ from the build's: $(ls "$installed" 2>&1 | tr '\n' ' ')"
fi
if [ -f "$menu/TAPI Treiber Konfiguration.lnk" ] && [ -f "$menu/TAPI Treiber Verbindungstest.lnk" ]; then
    result OK "two Start menu shortcuts in Brenvale TAPI Tools"
else
    result FAIL "Start menu shortcuts missing: $(ls "$menu" 2>&1 | tr '\n' ' ')"
fi
if [ -d "$drive/ProgramData/Brenvale Europe GmbH" ]; then result OK "the settings folder C:\\ProgramData\\Brenvale Europe GmbH exists"; else result FAIL "no settings folder"; fi
if [ "$(apps)" = "Brenvale TAPI Tools|$version|Brenvale Europe GmbH" ]; then
    result OK "Apps & features: Brenvale TAPI Tools $version by Brenvale Europe GmbH"
else
    result FAIL "Apps & features shows: $(apps)"
fi

# "Apps & features" as Wine draws it (its Add/Remove Programs), for the README.
"$wine" explorer /desktop=apps,640x480 control appwiz.cpl >/dev/null 2>&1 &
window=$(xdotool search --sync --onlyvisible --name '^apps' | head -1)
sleep 4 # until the list is drawn
import -window "$window" -trim +repage docs/screenshots/apps-and-features-windows.png
"$wineserver" -k
echo "Wrote docs/screenshots/apps-and-features-windows.png"

# The installed program, logging to C:\BrenvaleTAPIDriver.log as the switch says.
start_demo_environment "$work/demo" "$settings"
printf 'logger=true\r\n' >>"$settings"
# Not a job of this script: Wine's server ends it below, and that is no news.
("$wine" "$(windows_path "$installed")\\diagnostic-tool.exe" >"$work/diagnostic-tool.log" 2>&1 &)
if wait_for 40 stored_is message "Logged in"; then result OK "the installed diagnostic-tool.exe logged in"; else result FAIL "the installed diagnostic-tool.exe did not log in: $(stored message)"; fi
"$wineserver" -k
settings_before=$(cat "$settings")
log_before=$(cat "$drive/BrenvaleTAPIDriver.log" 2>/dev/null || true)
[ -n "$log_before" ] || result FAIL "no log file C:\\BrenvaleTAPIDriver.log to keep"

msiexec /i "$(windows_path "$msi")" /qn || true
if [ "$(apps | wc -l)" -eq 1 ]; then result OK "the same MSI installed twice: one installation"; else result FAIL "installed twice: $(apps | wc -l) entries"; fi
if msiexec /i "$(windows_path "$next_msi")" /qn && [ "$(apps)" = "Brenvale TAPI Tools|$next_version|Brenvale Europe GmbH" ] \
    && [ -f "$installed/diagnostic-tool.exe" ]; then
    result OK "version $next_version replaced $version: one installation"
else
    result FAIL "upgrade to $next_version: $(apps | tr '\n' ';')"
fi

if msiexec /x "$(windows_path "$next_msi")" /qn; then result OK "msiexec /x /qn"; else result FAIL "msiexec /x exited with $?"; fi
# Wine's installer leaves the emptied program folders behind, where Windows removes them.
left=$(find "$installed" "$menu" -type f 2>/dev/null || true)
if [ -z "$left" ] && [ -z "$(apps)" ]; then
    result OK "the programs, the shortcuts and the Apps & features entry are gone"
else
    result FAIL "left behind: $left $(apps)"
fi
if [ "$(cat "$settings" 2>/dev/null)" = "$settings_before" ] && [ "$(cat "$drive/BrenvaleTAPIDriver.log" 2>/dev/null)" = "$log_before" ]; then
    result OK "the settings file and the log file stay, with their content"
else
    result FAIL "the settings file or the log file changed on uninstall"
fi
if [ "$(reg_value "$driver_key" installationDir)" = 'C:\Driver' ]; then
    result OK "the driver's installationDir value is untouched"
else
    result FAIL "installationDir is now: $(reg_value "$driver_key" installationDir)"
fi

closing_count
