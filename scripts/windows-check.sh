#!/usr/bin/env bash
# Compiles the Windows-only sources (src/**/*_win.cpp) with MinGW-w64 and runs the plain Win32
# test programs in tests/windows/ under Wine, all inside build-windows/ (or $BUILD_DIR).
# Installs the cross compiler and Wine when they are missing. Needs no display.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
wineserver=""
finish() {
    local status=$?
    [ -z "$wineserver" ] || "$wineserver" -k 2>/dev/null || true
    [ $status -eq 0 ] || echo "Windows check FAILED after $((SECONDS - started)) s" >&2
}
trap finish EXIT
# The posix flavour is the one Qt's MinGW builds use.
scripts/setup.sh g++-mingw-w64-x86-64-posix wine64

build=${BUILD_DIR:-build-windows}
mkdir -p "$build"
build=$(cd "$build" && pwd)
cxx=x86_64-w64-mingw32-g++
flags=(-std=c++17 -O2 -Wall -Wextra -Werror)
for dir in src/*/; do flags+=(-I"$dir"); done

mapfile -t sources < <(find src -name '*_win.cpp' | sort)
[ ${#sources[@]} -gt 0 ] || { echo "No *_win.cpp files under src/." >&2; exit 1; }
objects=()
for source in "${sources[@]}"; do
    object="$build/obj/${source%.cpp}.o"
    mkdir -p "$(dirname "$object")"
    "$cxx" "${flags[@]}" -c "$source" -o "$object"
    objects+=("$object")
done
# An archive, so each test program takes only the objects it uses.
rm -f "$build/windows.a"
x86_64-w64-mingw32-ar rcs "$build/windows.a" "${objects[@]}"
echo "Compiled with $cxx $("$cxx" -dumpversion): ${sources[*]}"

mapfile -t tests < <(find tests/windows -name 'tst_*.cpp' | sort)
[ ${#tests[@]} -gt 0 ] || { echo "No test programs in tests/windows/." >&2; exit 1; }
programs=()
for test in "${tests[@]}"; do
    program="$build/$(basename "${test%.cpp}").exe"
    # Static, so Wine needs none of the compiler's DLLs.
    "$cxx" "${flags[@]}" -static "$test" "$build/windows.a" -ladvapi32 -o "$program"
    programs+=("$program")
done

wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(dirname "$wine")/wineserver
export WINEPREFIX="$build/wineprefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    # The first start builds the prefix; without 32-bit Wine it complains about syswow64, harmlessly.
    "$wine" wineboot --init >"$build/wineboot.log" 2>&1 || { cat "$build/wineboot.log"; exit 1; }
fi

echo "Running under $("$wine" --version)"
failures=0
for program in "${programs[@]}"; do
    echo "== $(basename "$program")"
    if ! timeout 120 "$wine" "$program"; then
        failures=$((failures + 1))
    fi
done

if [ $failures -gt 0 ]; then
    echo "$failures of ${#programs[@]} test program(s) failed under Wine" >&2
    exit 1
fi
echo "Windows check passed: ${#sources[@]} Windows source(s) compiled, ${#programs[@]} test program(s)" \
    "passed under Wine, in $((SECONDS - started)) s"
