# Helpers for the end-to-end tests: start the real program on the test
# display, wait for its window, and wait for it to end with a deadline.

# wait_window PID: waits up to 20 s for the "Vexa Engine" window; prints its id.
wait_window() {
    i=0
    while [ $i -lt 200 ]; do
        if ! kill -0 "$1" 2>/dev/null; then
            echo "program ended before its window appeared" >&2
            return 1
        fi
        wid=$(xdotool search --name "^Vexa Engine$" 2>/dev/null | head -1)
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
