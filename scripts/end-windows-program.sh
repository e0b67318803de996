#!/bin/sh
# end-windows-program.sh FOLDER: starts vexa.exe from FOLDER under Wine (the
# display and the Wine prefix set by scripts/test-windows.sh) and ends it
# twice: by Escape typed into its window, and by SIGINT, which Wine hands to
# the program as the console's Ctrl+C. Each time it must end with status 0.
set -e
cd "$(dirname "$0")/.."
. tests/e2e/lib.sh
folder=$1

# start: vexa.exe in the background; waits for its window (by title: the
# display is private to the test run).
start() {
    (cd "$folder" && exec wine vexa.exe) &
    pid=$!
    i=0
    until wid=$(xdotool search --name "^Vexa Engine$" 2>/dev/null | head -n 1) && [ -n "$wid" ]; do
        kill -0 "$pid" 2>/dev/null || { echo "end-windows-program: vexa.exe ended before its window appeared" >&2; exit 1; }
        i=$((i + 1))
        [ $i -lt 300 ] || { echo "end-windows-program: no window after 30 s" >&2; kill "$pid"; exit 1; }
        sleep 0.1
    done
    sleep 1
}

# ended HOW: waits for the program started last to end, with status 0.
ended() {
    status=0
    wait_exit "$pid" || status=$?
    [ "$status" -eq 0 ] || { echo "end-windows-program: exit status $status after $1, expected 0" >&2; exit 1; }
    echo "windows: vexa.exe ended with status 0 on $1"
}

start
xdotool windowfocus --sync "$wid" 2>/dev/null || true
xdotool key --window "$wid" Escape 2>/dev/null || true
xdotool key Escape
ended Escape

start
kill -INT "$pid"
ended "Ctrl+C (SIGINT)"
