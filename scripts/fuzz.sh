#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ (or $BUILD_DIR) and runs both at once,
# each for the given number of seconds (default 600), seeded from tools/fuzz/corpus/.
# What they learn stays in the build folder; the exit status is non-zero when one of them crashed.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
case $seconds in
'' | *[!0-9]*)
    echo "usage: $0 [seconds]" >&2
    exit 2
    ;;
esac

scripts/setup.sh clang libclang-rt-14-dev
build=${BUILD_DIR:-build-fuzz}
[[ $build == /* ]] || build="$PWD/$build"
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_FUZZERS=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target fuzz_ctimessage fuzz_settings

root="$PWD"
out="$build/fuzz"
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

run() {
    local name=$1 max_len=$2
    shift 2
    mkdir -p "$out/corpus/$name" "$out/artifacts/$name"
    "$build/tools/fuzz/fuzz_$name" "$out/corpus/$name" "$root/tools/fuzz/corpus/$name" \
        -dict="$root/tools/fuzz/$name.dict" -max_len="$max_len" -max_total_time="$seconds" -timeout=25 \
        -artifact_prefix="$out/artifacts/$name/" -print_final_stats=1 "$@" >"$out/$name.log" 2>&1
}

echo "Fuzzing for $seconds seconds; logs in $out/"
mkdir -p "$out"
touch "$out/started"
# No leak checks for the client: it keeps what it stores for good, and Qt 5.15's JSON parser leaks
# the earlier value of a duplicated key, which also makes memory grow over a long run.
ASAN_OPTIONS=detect_leaks=0 run ctimessage 65536 -detect_leaks=0 -rss_limit_mb=4096 &
frames=$!
run settings 16384 &
settings=$!
failed=0
wait $frames || failed=1
wait $settings || failed=1

for name in ctimessage settings; do
    log="$out/$name.log"
    echo
    echo "fuzz_$name"
    sed -nE 's/^Done ([0-9]+) runs in ([0-9]+) second.*/  runs:       \1 in \2 s/p' "$log"
    sed -nE 's/^stat::average_exec_per_sec: +/  per second: /p; s/^stat::peak_rss_mb: +(.*)/  peak RSS:   \1 MB/p' "$log"
    grep -E '^#[0-9]+[[:space:]].*cov: ' "$log" | tail -n 1 | sed -E 's/.*cov: ([0-9]+) ft: ([0-9]+).*/  coverage:   \1 edges, \2 features/' || true
    echo "  corpus:     $(find "$out/corpus/$name" -type f | wc -l) files, $(du -sb "$out/corpus/$name" | cut -f1) bytes"
    artifacts=$(find "$out/artifacts/$name" -type f -newer "$out/started")
    if [ -n "$artifacts" ]; then
        echo "  FOUND:      $(grep -m1 -E '^SUMMARY' "$log" || echo "see $log")"
        echo "$artifacts" | sed 's/^/              /'
    else
        echo "  found:      nothing"
    fi
done
exit $failed
