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
    export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
    scripts/build.sh -DSANITIZE=thread
    QT_QPA_PLATFORM=offscreen ctest --test-dir "$BUILD_DIR" --output-on-failure -j"$(nproc)" --timeout 300 \
        -R 'tst_(logger|line|model|cticonnector|ctiresponses|ctifaults)$'
    ;;
*)
    echo "usage: $0 [address|thread]" >&2
    exit 2
    ;;
esac
