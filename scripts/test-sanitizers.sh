#!/bin/sh
# Builds the address + undefined-behaviour sanitizer configuration and runs,
# on a virtual display, the whole test suite and then 600 frames of the real
# program (the snapshot tool: the program's start-up and loop). Any sanitizer
# report, leaks included, fails the run.
#
# Leak checking is on everywhere. Every process runs with
# tests/support/keep_modules_loaded.cpp preloaded, which makes dlclose a
# no-op: at exit SDL closes the display and Mesa unloads its GL driver before
# the leak check, which would then see the driver's still-referenced memory
# with no module to attribute it to. With the driver kept mapped its globals
# are scanned like any library's; tests/lsan.supp lists the one real leak
# outside the engine.
set -e
cd "$(dirname "$0")/.."
cmake --preset asan >/dev/null
cmake --build --preset asan
preload="$PWD/build/asan/keep_modules_loaded.so"
c++ -shared -fPIC -O2 -o "$preload" tests/support/keep_modules_loaded.cpp

export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# The preload library comes before the sanitizer runtime in the load order;
# it defines only dlclose and allocates nothing, so that order is safe.
export ASAN_OPTIONS="detect_leaks=1:verify_asan_link_order=0"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
sh scripts/with-display.sh env LD_PRELOAD="$preload" sh -c '
    set -e
    ctest --test-dir build/asan --output-on-failure
    echo "== 600 frames of the program under the sanitizers"
    build/asan/vexa-snapshot --frames 600
    echo "600 frames: no sanitizer report"
'
