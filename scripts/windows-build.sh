#!/usr/bin/env bash
# Cross-builds the libraries, both programs and the test suites for 64-bit Windows into
# build-windows/, with the Windows code paths: the private-profile functions of kernel32, the
# registry, the folder rights of the security API, %ProgramData% and the log at
# C:\BrenvaleTAPIDriver.log. Builds Qt for Windows first if it is not cached yet (see
# scripts/windows-qt.sh; WINDOWS_QT_DIR picks an existing install).
set -euo pipefail
cd "$(dirname "$0")/.."
export WINDOWS_QT_DIR=${WINDOWS_QT_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/brenvale-tapi/windows-qt}
scripts/windows-qt.sh
scripts/setup.sh g++-mingw-w64-x86-64-posix wine64 python3
build=build-windows
# CMake keeps the Qt it found first: a build folder made with another Qt starts afresh.
if [ -f "$build/CMakeCache.txt" ] && ! grep -qxF "Qt5_DIR:PATH=$WINDOWS_QT_DIR/lib/cmake/Qt5" "$build/CMakeCache.txt"; then
    rm -rf "$build/CMakeCache.txt" "$build/CMakeFiles"
fi
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-Release} -DCMAKE_PREFIX_PATH="$WINDOWS_QT_DIR" "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
