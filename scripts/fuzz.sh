#!/bin/sh
# Builds the libFuzzer targets with the "fuzz" preset (clang, sanitizers) and
# runs each one for a bounded time, seeded from its committed corpus in
# fuzz/corpus/<name>/. New inputs go to a scratch folder, so the committed
# corpus only changes by hand. Usage: sh scripts/fuzz.sh [seconds per target]
set -e
seconds=${1:-60}
cd "$(dirname "$0")/.."

cmake --preset fuzz >/dev/null
targets=""
for source in fuzz/fuzz_*.cpp; do
    targets="$targets $(basename "$source" .cpp)"
done
for target in $targets; do
    cmake --build --preset fuzz --target "$target" -j 2
done

for target in $targets; do
    seeds="fuzz/corpus/${target#fuzz_}"
    scratch=$(mktemp -d)
    echo "== $target for ${seconds}s"
    status=0
    "./build/fuzz/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 "$scratch" "$seeds" || status=$?
    rm -rf "$scratch"
    if [ "$status" -ne 0 ]; then
        echo "$target failed (status $status)" >&2
        exit "$status"
    fi
done
