#!/bin/sh
# Builds the address + undefined-behaviour sanitizer configuration and runs
# the whole test suite under it on a virtual display. Any sanitizer report
# fails the run.
#
# Leak checking: on for the unit tests (no GL driver loaded), with the
# suppressions in tests/lsan.supp. Off for the tests that load Mesa's GL
# driver: SDL unloads the driver at exit before the leak check runs, so the
# driver's own allocations show up with no module to attribute or suppress.
set -e
cd "$(dirname "$0")/.."
cmake --preset asan >/dev/null
cmake --build --preset asan
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp"
ASAN_OPTIONS="detect_leaks=1" sh scripts/with-display.sh \
    ctest --test-dir build/asan --output-on-failure -R '^unit$'
ASAN_OPTIONS="detect_leaks=0" sh scripts/with-display.sh \
    ctest --test-dir build/asan --output-on-failure -E '^unit$'
