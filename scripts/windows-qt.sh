#!/usr/bin/env bash
# Builds Qt 5.15 for Windows once, from Debian's own sources, with the MinGW-w64 cross compiler
# (x86_64, posix threads): QtCore, QtGui, QtWidgets, QtNetwork, QtTest, QtWebSockets and the
# windows and offscreen platform plugins, shared, release. Installs into $WINDOWS_QT_DIR
# (default ~/.cache/brenvale-tapi/windows-qt) and marks the install with a stamp, so a second run
# does nothing. Sources and build folders go to $WINDOWS_QT_WORK (default beside the install).
# The first run takes about 25 minutes on 2 cores; see README.md, "Windows".
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
cache=${XDG_CACHE_HOME:-$HOME/.cache}/brenvale-tapi
prefix=${WINDOWS_QT_DIR:-$cache/windows-qt}
work=${WINDOWS_QT_WORK:-$cache/windows-qt-work}
# Debian's mirror here serves the .dsc of qtwebsockets-opensource-src but not its tarballs; the
# same release as an upstream export is the fallback.
websockets_tarball=${QTWEBSOCKETS_TARBALL:-$repo/../shared/third-party/qtwebsockets-5.15.8-lts-lgpl.tar.xz}
stamp=$prefix/.windows-qt-built

# An install from before the image plugins were part of it gets them added (the work folder's
# configured build is reused when it is still there).
if [ -e "$stamp" ] && [ -e "$prefix/plugins/imageformats/qjpeg.dll" ]; then
    echo "Qt for Windows already built: $prefix ($(cat "$stamp"))"
    exit 0
fi
started=$SECONDS
scripts/setup.sh g++-mingw-w64-x86-64-posix dpkg-dev perl xz-utils

# The posix thread model is the one Qt's MinGW builds use; Debian's unsuffixed names may point to
# either, so the build sees the -posix compilers under the names Qt's mkspec calls.
mkdir -p "$work/bin"
for tool in gcc g++; do
    ln -sfn "/usr/bin/x86_64-w64-mingw32-$tool-posix" "$work/bin/x86_64-w64-mingw32-$tool"
done
export PATH=$work/bin:$PATH
jobs=$(nproc)
failed() { tail -40 "$1"; echo "failed: see $1" >&2; exit 1; }

# qtbase: Debian's source package, its patches applied.
qtbase_src=$work/qtbase-src
qtbase_build=$work/qtbase-build
[ -e "$qtbase_src/.pc/applied-patches" ] || { rm -rf "$qtbase_src"; scripts/debian-source.sh qtbase-opensource-src "$qtbase_src"; }
qtbase_version=$(cd "$qtbase_src" && dpkg-parsechangelog -S Version)

if [ ! -e "$qtbase_build/.configured" ]; then
    rm -rf "$qtbase_build"
    mkdir -p "$qtbase_build"
    # Debian's repackaged source lacks the tablet headers the windows plugin would include.
    (cd "$qtbase_build" && MAKEFLAGS=-j$jobs "$qtbase_src/configure" -prefix "$prefix" \
        -confirm-license -opensource \
        -platform linux-g++ -xplatform win32-g++ -device-option CROSS_COMPILE=x86_64-w64-mingw32- \
        -release -shared -optimize-size -nomake examples -nomake tests \
        -no-opengl -no-dbus -no-icu -no-openssl -no-feature-sql -no-feature-tabletevent \
        -qt-zlib -qt-pcre -qt-libpng -qt-libjpeg -qt-freetype -qt-harfbuzz -no-fontconfig \
        > "$qtbase_build/configure.log" 2>&1) || failed "$qtbase_build/configure.log"
    touch "$qtbase_build/.configured"
fi

# Only the modules and plugins the programs and their tests use. The host tools (moc, rcc, uic)
# come with them; libjpeg is a prerequisite the subdirectory targets do not name.
log=$qtbase_build/make.log
{ [ -e "$qtbase_build/src/plugins/platforms/Makefile" ] || nice make -C "$qtbase_build" sub-src-qmake_all; } \
    >> "$log" 2>&1 || failed "$log"
nice make -C "$qtbase_build/src" -j"$jobs" sub-corelib sub-winmain sub-network sub-testlib sub-gui sub-widgets \
    sub-platformsupport sub-platformheaders sub-3rdparty-libjpeg >> "$log" 2>&1 || failed "$log"
nice make -C "$qtbase_build/src/plugins/platforms" -j"$jobs" sub-windows sub-offscreen >> "$log" 2>&1 || failed "$log"
nice make -C "$qtbase_build/src/plugins/styles" -j"$jobs" sub-windowsvista >> "$log" 2>&1 || failed "$log"
# Contact pictures arrive as JPEG or GIF too; only PNG is decoded without a plugin.
nice make -C "$qtbase_build/src/plugins/imageformats" -j"$jobs" sub-jpeg sub-gif >> "$log" 2>&1 || failed "$log"

# The same parts installed, with qmake, syncqt (other modules' headers) and the mkspecs that
# CMake's Qt packages refer to.
for target in install_mkspecs install_syncqt sub-qmake-qmake-aux-pro-install_subtargets; do
    make -C "$qtbase_build" "$target" >> "$log" 2>&1 || failed "$log"
done
for part in tools/moc tools/rcc tools/uic corelib winmain network testlib gui widgets platformsupport \
            platformheaders plugins/platforms/windows plugins/platforms/offscreen plugins/styles/windowsvista \
            plugins/imageformats/jpeg plugins/imageformats/gif; do
    make -C "$qtbase_build/src/$part" install >> "$log" 2>&1 || failed "$log"
done

# qtwebsockets: Debian's source when the mirror has it, else the same release as a tarball.
websockets_src=$work/qtwebsockets-src
websockets_build=$work/qtwebsockets-build
if [ ! -e "$websockets_src/qtwebsockets.pro" ]; then
    rm -rf "$websockets_src"
    if ! scripts/debian-source.sh qtwebsockets-opensource-src "$websockets_src" 2>"$work/qtwebsockets-source.log"; then
        [ -f "$websockets_tarball" ] || {
            echo "qtwebsockets: Debian's mirror cannot serve it and there is no $websockets_tarball" >&2
            cat "$work/qtwebsockets-source.log" >&2
            exit 1
        }
        mkdir -p "$websockets_src.tmp"
        tar -xJf "$websockets_tarball" -C "$websockets_src.tmp" --strip-components=1
        mv "$websockets_src.tmp" "$websockets_src"
    fi
fi
# qmake generates a module's forwarding headers only inside a Git checkout.
mkdir -p "$websockets_src/.git"
websockets_version=$(sed -n 's/^MODULE_VERSION = //p' "$websockets_src/.qmake.conf")
rm -rf "$websockets_build"
mkdir -p "$websockets_build"
log=$websockets_build/make.log
(cd "$websockets_build" && "$prefix/bin/qmake" "$websockets_src/qtwebsockets.pro") > "$log" 2>&1 || failed "$log"
make -C "$websockets_build" -j"$jobs" sub-src >> "$log" 2>&1 || failed "$log"
make -C "$websockets_build/src" install >> "$log" 2>&1 || failed "$log"

echo "qtbase $qtbase_version, qtwebsockets $websockets_version" > "$stamp"
elapsed=$((SECONDS - started))
echo "Qt for Windows built in $((elapsed / 60))m$((elapsed % 60))s: $prefix ($(du -sh "$prefix" | cut -f1))"
