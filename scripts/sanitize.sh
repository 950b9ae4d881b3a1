#!/usr/bin/env bash
# Runs the tests under sanitizers, each in its own build folder:
#   scripts/sanitize.sh address   every suite under AddressSanitizer and UndefinedBehaviorSanitizer
#   scripts/sanitize.sh thread    the suites that use threads under ThreadSanitizer
set -euo pipefail
cd "$(dirname "$0")/.."
kind=${1:-address}
export BUILD_DIR=build-$kind
case $kind in
address)
    # Records handed to receivers or kept by the client live until the process ends by
    # design, so leak reports would only repeat that.
    export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
    export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
    scripts/test.sh -DSANITIZE=address
    ;;
thread)
    # The suites run against a QtCore built with TSan, so that the locks, wait conditions and
    # event queues Qt uses to hand data between threads are seen; Debian's other Qt libraries
    # load it in place of their own.
    scripts/build-tsan-qtcore.sh
    qtcore=$PWD/build-tsan-qt/build/lib
    suites='logger|modelsubclass|cticonnector|ctiresponses|ctifaults'
    export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
    # LD_LIBRARY_PATH is for the suites only: Debian's moc and rcc, run by the build, are not
    # built with TSan and cannot load that QtCore.
    scripts/build.sh -DSANITIZE=thread
    # A suite that silently fell back to Debian's QtCore would report the same false races again,
    # and one that cannot bind a symbol of Debian's Qt libraries to it would not start.
    binaries=$(find "$BUILD_DIR/tests" -type f -executable -regextype egrep -regex ".*/tst_($suites)")
    [ -n "$binaries" ] || { echo "no suite found in $BUILD_DIR/tests" >&2; exit 1; }
    for t in $binaries; do
        resolved=$(LD_LIBRARY_PATH=$qtcore ldd -r "$t" 2>&1)
        if ! grep -q "libQt5Core.so.5 => $qtcore/" <<<"$resolved" \
            || grep -Eq 'undefined symbol|not found' <<<"$resolved"; then
            echo "$t does not load the TSan QtCore cleanly:" >&2
            grep -E 'libQt5Core|undefined|not found' <<<"$resolved" >&2
            exit 1
        fi
    done
    QT_QPA_PLATFORM=offscreen LD_LIBRARY_PATH=$qtcore${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH} \
        ctest --test-dir "$BUILD_DIR" --output-on-failure -j"$(nproc)" --timeout 300 -R "tst_($suites)\$"
    ;;
*)
    echo "usage: $0 [address|thread]" >&2
    exit 2
    ;;
esac
