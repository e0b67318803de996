#!/bin/sh
# Builds everything and runs every test (the README's second command, and
# what CI runs): the release build with warnings as errors and its CTest
# suite (the installed package built on by an outside project included), a
# compile-only check for 64-bit ARM, the same suite and 600 frames under the
# sanitizers, the unit tests under the thread sanitizer, and the fuzzers of our
# own code for a fixed number of runs. Installs missing Debian packages first.
set -e
cd "$(dirname "$0")/.."
sh scripts/deps.sh
cmake --preset ci >/dev/null
cmake --build --preset ci
sh scripts/with-display.sh ctest --test-dir build/ci --output-on-failure
sh scripts/check-aarch64.sh
sh scripts/test-sanitizers.sh
sh scripts/test-threads.sh
sh scripts/fuzz.sh 15
