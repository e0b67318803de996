#!/bin/sh
# The fuzzing gate: builds the libFuzzer targets of the engine's own code
# with the "fuzz" preset (clang, sanitizers) and runs each one the same way
# every time: a fixed seed and a fixed number of runs, starting from its
# committed corpus in fuzz/corpus/<name>/, so the gate fails only for a
# fault in our code, never by chance. A time cap per target is only a safety
# net for a slow machine (the inputs tried are then the first ones of the
# same sequence). New inputs go to a scratch folder, so the committed corpus
# only changes by hand. Assimp itself is fuzzed outside the gate:
# scripts/fuzz-assimp.sh. Usage: sh scripts/fuzz.sh [seconds cap per target]
set -e
cap=${1:-15}
cd "$(dirname "$0")/.."

# Leaks that are not the engine's (SDL's session bus) are listed in tests/lsan.supp.
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp:print_suppressions=0}"

cmake --preset fuzz >/dev/null
# The gate's targets are those fuzz/CMakeLists.txt declares with
# vexa_fuzz_target; vexa_library_fuzz_target declares those outside it.
targets=$(sed -n 's/^vexa_fuzz_target(\([A-Za-z0-9_]*\).*/\1/p' fuzz/CMakeLists.txt)
outside=$(sed -n 's/^vexa_library_fuzz_target(\([A-Za-z0-9_]*\).*/\1/p' fuzz/CMakeLists.txt)
for source in fuzz/fuzz_*.cpp; do
    name=$(basename "$source" .cpp)
    case " $(echo $targets $outside) " in
    *" $name "*) ;;
    *) echo "fuzz.sh: $source has no vexa_fuzz_target in fuzz/CMakeLists.txt, skipped" >&2 ;;
    esac
done
for target in $targets; do
    cmake --build --preset fuzz --target "$target" -j 2
done

# Runs per target: about 8 s each on a 2-core machine (the includes
# target writes a file tree per input, so it runs far fewer).
runs_for() {
    case "$1" in
    fuzz_answer) echo 20000 ;;
    fuzz_guards) echo 150000 ;;
    fuzz_events) echo 25000 ;;
    fuzz_includes) echo 1000 ;;
    *) echo 10000 ;;
    esac
}

for target in $targets; do
    seeds="fuzz/corpus/${target#fuzz_}"
    scratch=$(mktemp -d)
    runs=$(runs_for "$target")
    echo "== $target: $runs runs, seed 1 (at most ${cap}s)"
    status=0
    # The importer says why it refuses each damaged answer, thousands of
    # lines per run: its stderr is dropped (libFuzzer's own output and
    # sanitizer reports still arrive).
    quiet=""
    [ "$target" = fuzz_answer ] && quiet="-close_fd_mask=2"
    "./build/fuzz/fuzz/$target" -seed=1 -runs="$runs" -max_total_time="$cap" -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 $quiet "$scratch" "$seeds" || status=$?
    rm -rf "$scratch"
    if [ "$status" -ne 0 ]; then
        echo "$target failed (status $status)" >&2
        exit "$status"
    fi
done
