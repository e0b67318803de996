#!/bin/sh
# Builds the unit tests with ThreadSanitizer and runs them; any data race or
# lock-order report fails the run. The unit tests drive the worker pool, the
# fractal split over its threads and the picture computed in the background
# while the demo loop runs, all against the recording GL stand-in, so no GL
# driver (whose own threads the sanitizer cannot see into) is involved.
#
# The platform test is left out: it forks after other tests have started the
# worker pool, and ThreadSanitizer cannot run threads in such a child.
set -e
cd "$(dirname "$0")/.."
cmake --preset tsan >/dev/null
cmake --build --preset tsan --target vexa_unit_tests
TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1" \
    build/tsan/tests/vexa_unit_tests --gtest_filter='-platform.*' --gtest_brief=1
echo "unit tests under the thread sanitizer: no report"
