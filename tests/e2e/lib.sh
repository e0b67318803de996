# Helpers for the end-to-end tests: start the real program on the test
# display, wait for its window, and wait for it to end with a deadline.

# wait_window PID: waits up to 20 s for PID's "Vexa Engine" window; prints its
# id. Searching by PID keeps tests that run side by side on one display from
# finding (and sending keys to) each other's windows.
wait_window() {
    i=0
    while [ $i -lt 200 ]; do
        if ! kill -0 "$1" 2>/dev/null; then
            echo "program ended before its window appeared" >&2
            return 1
        fi
        wid=$(xdotool search --pid "$1" --name "^Vexa Engine$" 2>/dev/null | head -1)
        if [ -n "$wid" ]; then
            echo "$wid"
            return 0
        fi
        sleep 0.1
        i=$((i + 1))
    done
    echo "no window after 20 s" >&2
    return 1
}

# wait_exit PID: waits up to 20 s for the program to end; returns its status.
wait_exit() {
    i=0
    while kill -0 "$1" 2>/dev/null && [ $i -lt 200 ]; do
        sleep 0.1
        i=$((i + 1))
    done
    if kill -0 "$1" 2>/dev/null; then
        echo "program still running after 20 s" >&2
        kill -9 "$1"
        return 124
    fi
    wait "$1"
}

# The fault-injection tests run the snapshot tool built next to the program:
# the same start-up and loop, ended after a given number of passes.

# snapshot_tool PROGRAM: prints the path of vexa-snapshot beside PROGRAM.
snapshot_tool() {
    tool="$(dirname "$1")/vexa-snapshot"
    if [ ! -x "$tool" ]; then
        echo "no vexa-snapshot beside $1 (built only when libpng is found)" >&2
        return 1
    fi
    echo "$tool"
}

# private_shaders DIR: copies the repository's shaders/ into DIR/shaders.
private_shaders() {
    mkdir -p "$1" && cp -R "$(dirname "$0")/../../shaders" "$1/shaders"
}

# run_frames PROGRAM DIR FRAMES ERRFILE: runs FRAMES loop passes of the
# program with DIR as working directory, stderr to ERRFILE, with a deadline
# of 300 s (the sanitizer build computes the picture slowly). Checks that it
# ended with status 0 after running every pass. Prints stderr.
run_frames() {
    tool=$(snapshot_tool "$1") || return 1
    out=$(cd "$2" && timeout 300 "$tool" --frames "$3" --timings 2>"$4")
    status=$?
    cut -c1-300 "$4" # compile logs quote the source: keep the test log readable
    if [ $status -ne 0 ]; then
        echo "exit status $status, expected 0" >&2
        return 1
    fi
    if ! echo "$out" | grep -qx "frames: $3"; then
        echo "the loop did not run $3 passes:" >&2
        echo "$out" >&2
        return 1
    fi
}

# expect_lines ERRFILE COUNT PATTERN: ERRFILE has exactly COUNT lines, and
# every one matches the extended regular expression PATTERN.
expect_lines() {
    lines=$(wc -l < "$1")
    if [ "$lines" -ne "$2" ]; then
        echo "$lines lines on stderr, expected $2" >&2
        return 1
    fi
    if grep -Evq "$3" "$1"; then
        echo "unexpected stderr line (expected each to match '$3'):" >&2
        grep -Ev "$3" "$1" >&2
        return 1
    fi
}
