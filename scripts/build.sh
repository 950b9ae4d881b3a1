#!/usr/bin/env bash
# Configures and builds everything into build/ (or $BUILD_DIR) with all cores.
set -euo pipefail
cd "$(dirname "$0")/.."
"$PWD/scripts/setup.sh"
build_dir=${BUILD_DIR:-build}
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} "$@" >/dev/null
cmake --build "$build_dir" -j"$(nproc)"
