#!/usr/bin/env bash
# Builds the MSI for administrators, build-windows/BrenvaleTAPITools-<version>-x64.msi, with wixl
# from packaging/windows/ and the programs as `cmake --install` lays them out, signed when
# WINDOWS_SIGNING_CERTIFICATE names a certificate (see scripts/windows-sign.sh). Then tests it in
# a fresh Wine prefix: install, the installed diagnostic-tool.exe logging in to the Linux demo
# server, installing it again, a rebuild of the same version and a higher version each replacing
# the installed one, an older version refused, and uninstalling, which must keep the settings
# file and the log files. The rebuild and the higher version are signed with a throw-away
# certificate and time-stamped by a local server, and their signatures checked.
# Ends with "N passed, M failed".
set -euo pipefail
shopt -s inherit_errexit
cd "$(dirname "$0")/.."
export WINDOWS_QT_DIR=${WINDOWS_QT_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/brenvale-tapi/windows-qt}
scripts/windows-build.sh >/dev/null
scripts/setup.sh wixl msitools osslsigncode openssl python3 wine64 fonts-wine xvfb x11-utils xdotool imagemagick
cmake -S . -B build >/dev/null
cmake --build build --target cti-demo-server -j"$(nproc)" >/dev/null
build=$PWD/build-windows
work=$build/msi
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
icon=$build/brenvale-tapi.ico # the programs' icon, drawn by the build

# file_version FILE: "VERSION LANGUAGE" from the version resource of a program or DLL (the
# language as a decimal id, 0 for neutral); nothing for a file without one.
file_version() {
    local found
    found=$(x86_64-w64-mingw32-windres -i "$1" -O rc 2>/dev/null | tr -d '\r' | awk '
        !version && $1 == "FILEVERSION" { $1 = ""; gsub(/[ ,]+/, "."); sub(/^\./, ""); version = $0 }
        !language && /VALUE "Translation"/ { split($0, part, ","); gsub(/ /, "", part[2]); language = part[2] }
        END { if (version) print version, (language ? language : 0) }')
    [ -z "$found" ] || printf '%s %d\n' "${found% *}" "${found#* }"
}

# complete_msi MSI STAGE: what wixl has no element or attribute for, written into the tables.
complete_msi() {
    local msi=$1 stage=$2 code max attributes id path number language component query
    local queries=()
    # A rebuild of the same version replaces the installed one as a higher version does: the
    # upgrade row's maximum becomes inclusive. The downgrade row stays exclusive, so only a
    # really newer installation refuses this package.
    read -r code max attributes < <(msiinfo export "$msi" Upgrade | tr -d '\r' \
        | awk -F'\t' '$7 == "WIX_UPGRADE_DETECTED" { print $1, $3, $5 }')
    queries+=("DELETE FROM \`Upgrade\` WHERE \`ActionProperty\` = 'WIX_UPGRADE_DETECTED'"
              "INSERT INTO \`Upgrade\` (\`UpgradeCode\`, \`VersionMax\`, \`Attributes\`, \`ActionProperty\`)
               VALUES ('$code', '$max', $((attributes | 512)), 'WIX_UPGRADE_DETECTED')")
    # Each program's and DLL's own version and language, so that Windows Installer compares
    # versions when it decides what to replace, rather than dates.
    while read -r id path; do
        read -r number language < <(file_version "$stage/$path") || continue
        queries+=("UPDATE \`File\` SET \`Version\` = '$number', \`Language\` = '$language' WHERE \`File\` = '$id'")
    done < <(sed -n 's|.*<File Id="\([^"]*\)".*Source="$(var.SourceDir)/\([^"]*\)".*|\1 \2|p' "$work/files.wxs")
    # The log files are the administrator's data: kept on removal (permanent, 16) and never
    # replaced when they exist (128).
    for component in LogFile LogBackup; do
        attributes=$(msiinfo export "$msi" Component | tr -d '\r' | awk -F'\t' -v c=$component '$1 == c { print $4 }')
        queries+=("UPDATE \`Component\` SET \`Attributes\` = $((attributes | 16 | 128)) WHERE \`Component\` = '$component'")
    done
    local arguments=()
    for query in "${queries[@]}"; do arguments+=(-q "$query"); done
    # Windows Installer's own table for the rights (wixl has no element for it): Everyone gets
    # full, inheritable access to the settings folder, as the programs give it before they
    # write there, and every user may read and write the log files.
    msibuild "$msi" "${arguments[@]}" -i packaging/windows/MsiLockPermissionsEx.idt
}

# make_msi VERSION NAME: the MSI of the current build under that version number, signed as
# the WINDOWS_SIGNING_* variables say: its programs first, the package last.
make_msi() {
    local msi=$work/$2.msi stage=$work/stage
    rm -rf "$stage"
    cmake --install "$build" --prefix "$stage" >/dev/null
    find "$stage" \( -name '*.dll' -o -name '*.exe' \) -exec x86_64-w64-mingw32-strip --strip-debug {} +
    scripts/windows-sign.sh "$stage/diagnostic-tool.exe" "$stage/configuration-tool.exe" >&2
    find "$stage" -type f | sort | wixl-heat --prefix "$stage/" --var var.SourceDir \
        --component-group ProgramFiles --directory-ref INSTALLDIR --win64 >"$work/files.wxs"
    # wixl takes the files' sources relative to where it runs.
    : >"$work/empty"
    cp "$icon" "$work/program.ico"
    (cd "$work" && wixl -a x64 -D Version="$1" -D SourceDir=stage -D Win64=yes -D IconFile=program.ico \
        -D EmptyFile=empty -o "$msi" "$OLDPWD/packaging/windows/brenvale-tapi-tools.wxs" files.wxs) >&2
    complete_msi "$msi" "$stage" >&2
    scripts/windows-sign.sh "$msi" >&2
    echo "$msi"
}
# throwaway_certificate DIR: a self-signed code-signing certificate for the tests, as
# DIR/signing.p12 with a random password, and DIR/signing.pem to verify with.
throwaway_certificate() {
    signing_password=$(openssl rand -hex 16)
    openssl req -x509 -newkey rsa:3072 -sha256 -days 2 -nodes -keyout "$1/signing.key" -out "$1/signing.pem" \
        -subj "/CN=Brenvale TAPI Tools throw-away test signing/O=Brenvale Europe GmbH" \
        -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" 2>/dev/null
    openssl pkcs12 -export -inkey "$1/signing.key" -in "$1/signing.pem" -out "$1/signing.p12" \
        -passout file:<(printf '%s' "$signing_password")
    signing_serial=$(openssl x509 -in "$1/signing.pem" -noout -serial | sed 's/^serial=//')
}

# timestamp_server DIR: an RFC 3161 time-stamping server on 127.0.0.1 for the tests, answered
# by `openssl ts` with a throw-away certificate of its own (DIR/tsa.pem). Sets timestamp_url.
timestamp_server() {
    local dir=$1
    openssl req -x509 -newkey rsa:2048 -sha256 -days 2 -nodes -keyout "$dir/tsa.key" -out "$dir/tsa.pem" \
        -subj "/CN=Brenvale TAPI Tools throw-away test time-stamping" \
        -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=critical,timeStamping" 2>/dev/null
    printf '[tsa]\nserial = %s\nsigner_digest = sha256\ndefault_policy = 1.2.3.4.1\ndigests = sha256\ness_cert_id_alg = sha256\n' \
        "$dir/tsa.serial" >"$dir/tsa.cnf"
    echo 01 >"$dir/tsa.serial"
    rm -f "$dir/tsa.port"
    python3 - "$dir" >"$dir/tsa.port" 2>"$dir/tsa.log" <<'EOF' &
import http.server, subprocess, sys
d = sys.argv[1]
class TimeStamping(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers['Content-Length']))
        reply = subprocess.run(['openssl', 'ts', '-reply', '-config', d + '/tsa.cnf', '-section', 'tsa',
                                '-queryfile', '/dev/stdin', '-signer', d + '/tsa.pem', '-inkey', d + '/tsa.key',
                                '-out', '/dev/stdout'], input=query, capture_output=True).stdout
        self.send_response(200 if reply else 500)
        self.send_header('Content-Type', 'application/timestamp-reply')
        self.send_header('Content-Length', str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)
server = http.server.HTTPServer(('127.0.0.1', 0), TimeStamping)
print(server.server_address[1], flush=True)
server.serve_forever()
EOF
    timestamp_pid=$!
    wait_for 10 test -s "$dir/tsa.port" || { cat "$dir/tsa.log"; return 1; }
    timestamp_url=http://127.0.0.1:$(cat "$dir/tsa.port")
}

# with_throwaway_signing COMMAND...: runs the command with the throw-away certificate and the
# local time-stamping server as the signing configuration.
with_throwaway_signing() {
    WINDOWS_SIGNING_CERTIFICATE=$signing/signing.p12 WINDOWS_SIGNING_PASSWORD=$signing_password \
        WINDOWS_SIGNING_TIMESTAMP_URL=$timestamp_url "$@"
}

# What osslsigncode finds in a file's signature, trusting the throw-away certificates.
signature_report() { osslsigncode verify -in "$1" -CAfile "$signing/signing.pem" -TSA-CAfile "$signing/tsa.pem" 2>&1; }
# signed_by_throwaway FILE: the file's signature is intact, chains to the throw-away certificate
# and carries a time-stamp of the local server.
signed_by_throwaway() {
    local report
    report=$(signature_report "$1") || return 1
    grep -q "Serial : $signing_serial" <<<"$report" && grep -q '^Signature verification: ok' <<<"$report" \
        && grep -q '^Timestamp Server Signature verification: ok' <<<"$report"
}
# What a failed check of signed_by_throwaway found, in one line.
signature_findings() {
    signature_report "$1" | grep -E 'Serial :|verification|[Tt]imestamp|signature found|^Failed' | sort -u | tr -s ' \t\n' ' ' || true
}

rm -rf "$work"
mkdir -p "$work"
msi=$(make_msi "$version" "BrenvaleTAPITools-$version-x64")
cp "$msi" "$build/"
echo "Wrote $build/$(basename "$msi") ($(du -h "$msi" | cut -f1))"

export WINEPREFIX=$work/prefix
source scripts/windows-environment.sh
source scripts/demo-environment.sh
timestamp_pid=""
trap 'stop_demo_environment; stop_windows_environment; kill $timestamp_pid 2>/dev/null || true' EXIT
unset WINEPATH WINEQT_QPA_FONTDIR # only what the MSI brings
start_display

echo "== Test packages, signed with a throw-away certificate"
signing=$work/signing
mkdir -p "$signing"
throwaway_certificate "$signing"
timestamp_server "$signing"
# A rebuild of the same version (a new product code, as every build gets), and a rebuild with a
# higher version, for the upgrades.
rebuilt_msi=$(with_throwaway_signing make_msi "$version" rebuilt)
next_version=${version%.*}.$((${version##*.} + 1))
next_msi=$(with_throwaway_signing make_msi "$next_version" next)
for file in "$rebuilt_msi" "$next_msi"; do
    if signed_by_throwaway "$file"; then
        result OK "$(basename "$file"): signature intact, by the throw-away certificate, time-stamped"
    else
        result FAIL "$(basename "$file"): $(signature_findings "$file")"
    fi
done
if signed_as_configured "$msi"; then
    result OK "$(basename "$msi") is $(signing_state)"
else
    result FAIL "$(basename "$msi") is not $(signing_state)"
fi
# A wrong password must stop the build, not let an unsigned file through.
cp "$work/stage/diagnostic-tool.exe" "$signing/wrong-password.exe"
cp "$signing/wrong-password.exe" "$signing/original.exe"
if ! WINDOWS_SIGNING_CERTIFICATE=$signing/signing.p12 WINDOWS_SIGNING_PASSWORD=wrong \
        scripts/windows-sign.sh "$signing/wrong-password.exe" >"$signing/wrong-password.log" 2>&1 \
    && cmp -s "$signing/original.exe" "$signing/wrong-password.exe" && [ ! -e "$signing/wrong-password.exe.signed" ]; then
    result OK "a wrong certificate password fails the signing and leaves the file as it was"
else
    result FAIL "a wrong certificate password: $(tail -2 "$signing/wrong-password.log" | tr '\n' ' ')"
fi

echo "== The package's tables"
# File table rows as "name version language".
file_table() { msiinfo export "$1" File | tr -d '\r' | awk -F'\t' 'NR > 3 { print $3, $5, $6 }'; }
qt_version=$(sed -n 's/^set(PACKAGE_VERSION "\?\([0-9.]*\)"\?)$/\1/p' "$WINDOWS_QT_DIR/lib/cmake/Qt5Core/Qt5CoreConfigVersion.cmake")
versioned=$(file_table "$msi" | awk '$2 != ""' | wc -l)
programs=$(file_table "$msi" | grep -cxE "(diagnostic|configuration)-tool\.exe $version\.0 [0-9]+" || true)
qt_dlls=$(cd "$work/stage" && find . \( -name 'Qt5*.dll' -o -path './plugins/*.dll' \) | wc -l)
qt=$(file_table "$msi" | grep -cxE "(Qt5[A-Za-z]+|q[a-z]+)\.dll $qt_version\.0 [0-9]+" || true)
# Windows' validation requires a language for every versioned file that is not a font.
languageless=$(file_table "$msi" | awk '$2 != "" && $3 == ""' | wc -l)
if [ "$programs" -eq 2 ] && [ "$qt" -eq "$qt_dlls" ] && [ "$languageless" -eq 0 ]; then
    result OK "File table: both programs $version.0, Qt's $qt_dlls DLLs and plugins $qt_version.0; $versioned of $(file_table "$msi" | wc -l) files versioned, each with its language"
else
    result FAIL "File table versions: $(file_table "$msi" | grep -E '\.(exe|dll) ' | tr '\n' ';')"
fi
# Each entry of the rights table must name a folder or file of the package, or Windows
# Installer silently sets no rights.
unknown=""
while IFS=$'\t' read -r _ object table _; do
    msiinfo export "$msi" "$table" | tr -d '\r' | awk -F'\t' -v o="$object" 'NR > 3 && $1 == o { found = 1 } END { exit !found }' \
        || unknown+=" $table:$object"
done < <(msiinfo export "$msi" MsiLockPermissionsEx | tr -d '\r' | tail -n +4)
if [ -z "$unknown" ]; then
    result OK "every entry of the rights table names a folder or file of the package"
else
    result FAIL "the rights table names what the package lacks:$unknown"
fi

echo "== The MSI in a fresh Wine prefix"
drive=$WINEPREFIX/drive_c
installed="$drive/Program Files/Brenvale Europe GmbH/TAPI Tools"
log_file=$drive/BrenvaleTAPIDriver.log
driver_key='HKLM\SOFTWARE\Wow6432Node\Brenvale Europe GmbH\BrenvaleTAPIDriver\UserData'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
runs=0
msiexec() {
    runs=$((runs + 1))
    "$wine" msiexec "$@" '/l*v' "$(windows_path "$work/msiexec-$runs.log")" >/dev/null 2>&1
}
# unix_path PATH: a path on the prefix's drive C: as a path of this system.
unix_path() {
    local path=${1//\\//}
    echo "$drive/${path#[Cc]:/}"
}
# A folder as the installer resolved it in its last run, as a path of this system.
installer_folder() {
    unix_path "$(tr -d '\r\0' <"$work/msiexec-$runs.log" | sed -n "s/^Property(S): $1 = //p" | tail -1)"
}
reg_value() { "$wine" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n -E "s/^ *$2 *REG_(SZ|DWORD) *//p"; }
product_code() { msiinfo export "$1" Property | tr -d '\r' | awk -F'\t' '$1 == "ProductCode" { print $2 }'; }
# The entries of "Apps & features", as DisplayName|DisplayVersion|Publisher lines.
apps() {
    "$wine" reg query "$uninstall_key" /s 2>/dev/null | tr -d '\r' \
        | awk '/^HKEY/ { if (n) print n "|" v "|" p; n = v = p = "" }
               /DisplayName /    { sub(/.*REG_SZ +/, ""); n = $0 }
               /DisplayVersion / { sub(/.*REG_SZ +/, ""); v = $0 }
               /Publisher /      { sub(/.*REG_SZ +/, ""); p = $0 }
               END { if (n) print n "|" v "|" p }' | grep '^Brenvale TAPI Tools|' || true
}
# The icon that Apps & features shows for the installed product, as Windows Installer
# registered it (a copy of the package's icon in C:\Windows\Installer).
product_icon() {
    "$wine" reg query 'HKLM\Software\Classes\Installer\Products' /s 2>/dev/null | tr -d '\r' \
        | awk '/^HKEY/ { if (n == "Brenvale TAPI Tools") print i; n = i = "" }
               /^ *ProductName / { sub(/.*REG_SZ +/, ""); n = $0 }
               /^ *ProductIcon / { sub(/.*REG_SZ +/, ""); i = $0 }
               END { if (n == "Brenvale TAPI Tools") print i }'
}
# The icon file a shortcut names.
shortcut_icon() { strings -el "$1" | grep -o '[A-Za-z]:\\.*\.ico$' | head -1; }
is_our_icon() { [ -n "$1" ] && cmp -s "$(unix_path "$1")" "$icon"; }

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
shortcuts=("$menu/TAPI Treiber Konfiguration.lnk" "$menu/TAPI Treiber Verbindungstest.lnk")
if [ -f "${shortcuts[0]}" ] && [ -f "${shortcuts[1]}" ]; then
    result OK "two Start menu shortcuts in Brenvale TAPI Tools"
else
    result FAIL "Start menu shortcuts missing: $(ls "$menu" 2>&1 | tr '\n' ' ')"
fi
if is_our_icon "$(shortcut_icon "${shortcuts[0]}")" && is_our_icon "$(shortcut_icon "${shortcuts[1]}")"; then
    result OK "both shortcuts show the programs' icon"
else
    result FAIL "the shortcuts' icons: $(shortcut_icon "${shortcuts[0]}") $(shortcut_icon "${shortcuts[1]}")"
fi
if [ -d "$drive/ProgramData/Brenvale Europe GmbH" ]; then result OK "the settings folder C:\\ProgramData\\Brenvale Europe GmbH exists"; else result FAIL "no settings folder"; fi
if [ -f "$log_file" ] && [ ! -s "$log_file" ] && [ -f "$log_file.1" ] && [ ! -s "$log_file.1" ]; then
    result OK "C:\\BrenvaleTAPIDriver.log and its backup C:\\BrenvaleTAPIDriver.log.1 exist, empty"
else
    result FAIL "the log files after the install: $(ls -l "$drive" | grep BrenvaleTAPIDriver | tr '\n' ';')"
fi
if [ "$(apps)" = "Brenvale TAPI Tools|$version|Brenvale Europe GmbH" ]; then
    result OK "Apps & features: Brenvale TAPI Tools $version by Brenvale Europe GmbH"
else
    result FAIL "Apps & features shows: $(apps)"
fi
if is_our_icon "$(product_icon)" && [ "$(reg_value "$uninstall_key\\$(product_code "$msi")" NoModify)" = 0x1 ]; then
    result OK "Apps & features shows the programs' icon, and no Modify"
else
    result FAIL "Apps & features: icon '$(product_icon)', NoModify '$(reg_value "$uninstall_key\\$(product_code "$msi")" NoModify)'"
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
log_before=$(cat "$log_file" 2>/dev/null || true)
[ -n "$log_before" ] || result FAIL "nothing in C:\\BrenvaleTAPIDriver.log to keep"

msiexec /i "$(windows_path "$msi")" /qn || true
if [ "$(apps | wc -l)" -eq 1 ]; then result OK "the same MSI installed twice: one installation"; else result FAIL "installed twice: $(apps | wc -l) entries"; fi
# Every build has a product code of its own; a rebuild of the same version must still replace
# the installed one, not install beside it.
if msiexec /i "$(windows_path "$rebuilt_msi")" /qn && [ "$(apps)" = "Brenvale TAPI Tools|$version|Brenvale Europe GmbH" ] \
    && [ -n "$(reg_value "$uninstall_key\\$(product_code "$rebuilt_msi")" DisplayName)" ] && [ -f "$installed/diagnostic-tool.exe" ]; then
    result OK "a rebuild of $version (signed, another product code) replaced the installed $version: one installation"
else
    result FAIL "the rebuild of $version: $(apps | tr '\n' ';')"
fi
if signed_by_throwaway "$installed/diagnostic-tool.exe" && signed_by_throwaway "$installed/configuration-tool.exe"; then
    result OK "the installed programs carry the throw-away signature, intact and time-stamped"
else
    result FAIL "the installed programs' signatures: $(signature_findings "$installed/diagnostic-tool.exe")"
fi
if msiexec /i "$(windows_path "$next_msi")" /qn && [ "$(apps)" = "Brenvale TAPI Tools|$next_version|Brenvale Europe GmbH" ] \
    && [ -f "$installed/diagnostic-tool.exe" ]; then
    result OK "version $next_version replaced $version: one installation"
else
    result FAIL "upgrade to $next_version: $(apps | tr '\n' ';')"
fi
# An older package over a newer installation: refused with Windows Installer's 1603 (of which a
# Unix exit status keeps 1603 % 256 under Wine), the newer version stays.
status=0
msiexec /i "$(windows_path "$msi")" /qn || status=$?
if [ "$status" -eq $((1603 % 256)) ] && [ "$(apps)" = "Brenvale TAPI Tools|$next_version|Brenvale Europe GmbH" ]; then
    result OK "$version over $next_version refused (1603): $next_version stays, one installation"
else
    result FAIL "$version over $next_version: exit status $status, Apps & features: $(apps | tr '\n' ';')"
fi
# With a user interface, the refusal says why. Wine's message boxes show in its trace.
downgrade_message="A newer version of Brenvale TAPI Tools is already installed."
(WINEDEBUG=+msgbox "$wine" msiexec /i "$(windows_path "$msi")" /qb >"$work/downgrade.log" 2>&1 &)
if wait_for 30 grep -qsF "L\"$downgrade_message\"" "$work/downgrade.log"; then
    result OK "and tells a user: \"$downgrade_message\""
else
    result FAIL "the refused downgrade showed no message: $(grep msgbox "$work/downgrade.log" | tr '\n' ' ')"
fi
"$wineserver" -k || true # nothing left to end if the package was not refused

if msiexec /x "$(windows_path "$next_msi")" /qn; then result OK "msiexec /x /qn"; else result FAIL "msiexec /x exited with $?"; fi
# Wine's installer leaves the emptied program folders behind, where Windows removes them.
left=$(find "$installed" "$menu" -type f 2>/dev/null || true)
if [ -z "$left" ] && [ -z "$(apps)" ]; then
    result OK "the programs, the shortcuts and the Apps & features entry are gone"
else
    result FAIL "left behind: $left $(apps)"
fi
if [ "$(cat "$settings" 2>/dev/null)" = "$settings_before" ] && [ "$(cat "$log_file" 2>/dev/null)" = "$log_before" ] \
    && [ -f "$log_file.1" ]; then
    result OK "the settings file and both log files stay through the upgrades and the removal, with their content"
else
    result FAIL "the settings file or a log file changed: $(ls -l "$drive" | grep BrenvaleTAPIDriver | tr '\n' ';')"
fi
if [ "$(reg_value "$driver_key" installationDir)" = 'C:\Driver' ]; then
    result OK "the driver's installationDir value is untouched"
else
    result FAIL "installationDir is now: $(reg_value "$driver_key" installationDir)"
fi

closing_count
