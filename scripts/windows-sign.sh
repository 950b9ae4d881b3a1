#!/usr/bin/env bash
# scripts/windows-sign.sh FILE...: signs Windows programs and installers in place (Authenticode,
# SHA-256, with osslsigncode) when a code-signing certificate is given:
#   WINDOWS_SIGNING_CERTIFICATE    a PKCS#12 file (.p12/.pfx) with the certificate and its key
#   WINDOWS_SIGNING_PASSWORD       its password (read by osslsigncode from a pipe, never from
#                                  the command line, so other users' `ps` cannot see it)
#   WINDOWS_SIGNING_TIMESTAMP_URL  optional: an RFC 3161 time-stamping server, so that the
#                                  signature stays valid after the certificate expires
# Without a certificate it signs nothing and says "unsigned". A signing that fails ends the
# script with an error and leaves the file as it was: a package asked to be signed is never
# shipped unsigned. Used by windows-package.sh and windows-msi.sh.
set -euo pipefail
certificate=${WINDOWS_SIGNING_CERTIFICATE:-}
if [ -z "$certificate" ]; then
    for file in "$@"; do echo "unsigned: $(basename "$file") (no WINDOWS_SIGNING_CERTIFICATE)"; done
    exit 0
fi
if [ ! -r "$certificate" ]; then
    echo "Cannot read the certificate WINDOWS_SIGNING_CERTIFICATE=$certificate" >&2
    exit 1
fi
command -v osslsigncode >/dev/null || "$(dirname "$0")/setup.sh" osslsigncode
timestamp=()
[ -z "${WINDOWS_SIGNING_TIMESTAMP_URL:-}" ] || timestamp=(-ts "$WINDOWS_SIGNING_TIMESTAMP_URL")
for file in "$@"; do
    signed=$file.signed
    rm -f "$signed"
    # The description is what Windows shows as the program's name in the UAC prompt.
    if ! osslsigncode sign -pkcs12 "$certificate" -readpass <(printf '%s' "${WINDOWS_SIGNING_PASSWORD:-}") \
        -h sha256 -n "Brenvale TAPI Tools" "${timestamp[@]}" -in "$file" -out "$signed" >"$signed.log" 2>&1; then
        cat "$signed.log" >&2
        rm -f "$signed" "$signed.log"
        echo "Signing $(basename "$file") failed: check WINDOWS_SIGNING_CERTIFICATE and WINDOWS_SIGNING_PASSWORD${timestamp[*]:+, and whether WINDOWS_SIGNING_TIMESTAMP_URL answers}" >&2
        exit 1
    fi
    rm -f "$signed.log"
    mv "$signed" "$file"
    echo "signed: $(basename "$file")${timestamp[*]:+, time-stamped}"
done
