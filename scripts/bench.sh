#!/usr/bin/env bash
# Installs what is missing, builds the benchmarks in Release into build-bench/ (or $BUILD_DIR)
# and runs every one of them. With --profile it also records with perf where the time of one
# address page goes. The figures and how to read them: bench/README.md.
set -euo pipefail
cd "$(dirname "$0")/.."

profile=false
if [ "${1:-}" = --profile ]; then
    profile=true
    "$PWD/scripts/setup.sh" linux-perf
else
    "$PWD/scripts/setup.sh"
fi

build_dir=${BUILD_DIR:-build-bench}
benchmarks=(bench_login bench_addresspage bench_addressbook bench_memory)
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DBUILD_BENCHMARKS=ON >/dev/null
cmake --build "$build_dir" -j"$(nproc)" --target "${benchmarks[@]}" >/dev/null

echo "Machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(nproc) cores," \
     "$(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo)," \
     "$(. /etc/os-release && echo "$PRETTY_NAME"), Qt $(dpkg-query -W -f='${Version}' libqt5core5a)," \
     "$(c++ --version | head -n1)"
for benchmark in "${benchmarks[@]}"; do
    "$build_dir/bench/$benchmark"
done

if $profile; then
    data="$build_dir/bench/addresspage.perf"
    perf record --quiet --call-graph dwarf,16384 -F 2000 -o "$data" "$build_dir/bench/bench_addresspage" 3 >/dev/null
    perf report -i "$data" --children -g none --sort symbol --percent-limit 2 --stdio 2>/dev/null | grep -E '^ +[0-9]'
fi
