#!/usr/bin/env bash
# Downloads and unpacks a Debian source package, with Debian's patches applied:
#   scripts/debian-source.sh PACKAGE[=VERSION] DEST
# Adds deb-src entries for the configured mirrors when there are none. Fails when the mirror
# cannot serve the package, leaving DEST absent. Runs as root (apt-get, /etc/apt).
set -euo pipefail
request=$1
dest=$2
pkg=${request%%=*}
version=${request#"$pkg"}
version=${version#=}

if ! apt-cache showsrc "$pkg" 2>/dev/null | grep -qF "Version: $version"; then
    if ! grep -rqs '^Types:.*deb-src\|^deb-src ' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        # Same mirrors and suites as the binary entries, for source packages.
        sed -e 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
            > /etc/apt/sources.list.d/debian-src.sources
    fi
    apt-get update -qq
fi
command -v dpkg-source >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq dpkg-dev

download=$(mktemp -d "${dest%/}.download.XXXXXX")
trap 'rm -rf "$download" "$dest.tmp"' EXIT
# apt's own sandbox user cannot write to a folder made by root.
(cd "$download" && apt-get source -qq --download-only -o APT::Sandbox::User=root "$request")
dsc=$(ls "$download"/*.dsc)
rm -rf "$dest.tmp"
# Unpacking a 3.0 (quilt) source applies Debian's patches.
dpkg-source -x "$dsc" "$dest.tmp" >/dev/null
mv "$dest.tmp" "$dest"
