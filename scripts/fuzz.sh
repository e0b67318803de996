#!/bin/sh
# Builds the libFuzzer targets with the "fuzz" preset (clang, sanitizers) and
# runs each one for a bounded time, seeded from its committed corpus in
# fuzz/corpus/<name>/. New inputs go to a scratch folder, so the committed
# corpus only changes by hand. Usage: sh scripts/fuzz.sh [seconds per target]
set -e
seconds=${1:-60}
cd "$(dirname "$0")/.."

# Leaks that are not the engine's (SDL's session bus, Assimp's readers giving
# up on malformed files) are listed in tests/lsan.supp.
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp:print_suppressions=0}"

cmake --preset fuzz >/dev/null
# The targets are those fuzz/CMakeLists.txt declares with vexa_fuzz_target.
targets=$(sed -n 's/^vexa_fuzz_target(\([A-Za-z0-9_]*\).*/\1/p' fuzz/CMakeLists.txt)
for source in fuzz/fuzz_*.cpp; do
    name=$(basename "$source" .cpp)
    case " $(echo $targets) " in
    *" $name "*) ;;
    *) echo "fuzz.sh: $source has no vexa_fuzz_target in fuzz/CMakeLists.txt, skipped" >&2 ;;
    esac
done
for target in $targets; do
    cmake --build --preset fuzz --target "$target" -j 2
done

for target in $targets; do
    seeds="fuzz/corpus/${target#fuzz_}"
    scratch=$(mktemp -d)
    echo "== $target for ${seconds}s"
    status=0
    # The importer says why it refuses each broken model, thousands of lines
    # per run: its stderr is dropped (libFuzzer's own output and sanitizer
    # reports still arrive).
    quiet=""
    [ "$target" = fuzz_import ] && quiet="-close_fd_mask=2"
    "./build/fuzz/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 $quiet "$scratch" "$seeds" || status=$?
    rm -rf "$scratch"
    if [ "$status" -ne 0 ]; then
        echo "$target failed (status $status)" >&2
        exit "$status"
    fi
done
