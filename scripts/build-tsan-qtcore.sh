#!/usr/bin/env bash
# Builds Debian's own libQt5Core.so.5 (the installed version, with Debian's patches and
# configure options) with ThreadSanitizer into build-tsan-qt/, for scripts/sanitize.sh thread.
# Debian's QtCore is not instrumented, so the locks and queues Qt uses to hand data between
# threads are invisible to TSan and every such hand-over shows up as a false race.
# Only QtCore is rebuilt: Debian's other Qt libraries load it, as their symbol versions match.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD/build-tsan-qt
src=$root/src
out=$root/build
pkg=$(dpkg-query -W -f '${source:Package}' libqt5core5a)
version=$(dpkg-query -W -f '${source:Version}' libqt5core5a)
stamp=$out/.built-$version
lib=$out/lib/libQt5Core.so.5
system_lib=/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/libQt5Core.so.5

if [ -e "$stamp" ] && [ -e "$lib" ]; then
    echo "TSan QtCore $version already built: $lib"
    exit 0
fi
start=$SECONDS
mkdir -p "$root"

# Only what QtCore itself links against (see `ldd $system_lib`), and the tools to unpack.
need=()
for p in dpkg-dev g++ make perl zlib1g-dev libicu-dev libglib2.0-dev libdouble-conversion-dev \
         libpcre2-dev libzstd-dev; do
    dpkg-query -W -f '${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}"
fi

# The exact source of the installed package.
[ -e "$src/.pc/applied-patches" ] || { rm -rf "$src"; scripts/debian-source.sh "$pkg=$version" "$src"; }

if [ ! -e "$out/.configured-$version" ]; then
    rm -rf "$out"
    mkdir -p "$out"
    # Debian's flags, with line tables only (enough for TSan's stacks, much faster to build),
    # and real paths in the debug info so that reports point into src/.
    flags() { (cd "$src" && dpkg-buildflags --get "$1") | sed -E -e 's/-ffile-prefix-map=[^ ]*//' -e 's/(^| )-g( |$)/\1-g1\2/'; }
    cflags="$(flags CFLAGS) $(flags CPPFLAGS) $(getconf LFS_CFLAGS)"
    cxxflags="$(flags CXXFLAGS) $(flags CPPFLAGS) $(getconf LFS_CFLAGS)"
    ldflags=$(flags LDFLAGS)
    multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
    # debian/rules' configure line, less the options for modules other than QtCore; the
    # install paths must stay, as QLibraryInfo (plugins, translations) is compiled from them.
    (cd "$out" && MAKEFLAGS="-j$(nproc)" nice "$src/configure" \
        -confirm-license -opensource \
        -prefix /usr \
        -bindir /usr/lib/qt5/bin \
        -libdir "/usr/lib/$multiarch" \
        -docdir /usr/share/qt5/doc \
        -headerdir "/usr/include/$multiarch/qt5" \
        -datadir /usr/share/qt5 \
        -archdatadir "/usr/lib/$multiarch/qt5" \
        -plugindir "/usr/lib/$multiarch/qt5/plugins" \
        -importdir "/usr/lib/$multiarch/qt5/imports" \
        -translationdir /usr/share/qt5/translations \
        -hostdatadir "/usr/lib/$multiarch/qt5" \
        -sysconfdir /etc/xdg \
        -examplesdir "/usr/lib/$multiarch/qt5/examples" \
        -platform linux-g++ \
        -system-zlib -system-doubleconversion -system-pcre \
        -no-rpath -optimized-qmake -no-strip -no-separate-debug-info \
        -glib -icu -no-use-gold-linker -no-mimetype-database -no-feature-relocatable \
        -sanitize thread \
        -no-gui -no-widgets -no-dbus -no-opengl -no-openssl -no-sql-sqlite -no-sql-odbc \
        -no-sql-psql -no-sql-mysql -no-sql-ibase -no-sql-tds \
        -nomake examples -nomake tests \
        QMAKE_CFLAGS="$cflags" QMAKE_CXXFLAGS="$cxxflags" QMAKE_LFLAGS="$ldflags" \
        > "$out/configure.log" 2>&1) || { tail -40 "$out/configure.log"; exit 1; }
    touch "$out/.configured-$version"
fi

# sub-corelib brings in only its own prerequisites (the bootstrap library and moc).
{ [ -e "$out/src/Makefile" ] || (cd "$out/src" && "$out/bin/qmake" -o Makefile "$src/src/src.pro"); } \
    > "$out/make.log" 2>&1 || { tail -40 "$out/make.log"; exit 1; }
nice make -C "$out/src" -j"$(nproc)" sub-corelib >> "$out/make.log" 2>&1 \
    || { tail -40 "$out/make.log"; exit 1; }

# Debian's Network, Gui, Test and WebSockets must find every versioned symbol they use here.
missing=$(comm -23 \
    <(nm -D --defined-only --with-symbol-versions "$system_lib" | awk '{print $NF}' | sort -u) \
    <(nm -D --defined-only --with-symbol-versions "$lib" | awk '{print $NF}' | sort -u))
if [ -n "$missing" ]; then
    echo "TSan QtCore lacks $(wc -l <<<"$missing") symbols of $system_lib, e.g.:" >&2
    head -20 <<<"$missing" >&2
    exit 1
fi

touch "$stamp"
elapsed=$((SECONDS - start))
echo "TSan QtCore $version built in $((elapsed / 60))m$((elapsed % 60))s: $lib"
