#!/bin/sh
# Runs the demo. With a display it just opens the window. Without one it runs
# the demo on a private Xvfb display, saves a screenshot after a couple of
# seconds, ends the program with Escape and prints where the picture is.
vexa="${1:-build/release/vexa}"
cd "$(dirname "$0")/.." || exit 1
if [ -n "$DISPLAY" ]; then
    exec "$vexa"
fi
out="${VEXA_SCREENSHOT:-$PWD/build/vexa-screenshot.png}"
exec sh scripts/with-display.sh sh -c '
    "$1" & pid=$!
    sleep 3
    xwd -name "Vexa Engine" -silent | xwdtopnm 2>/dev/null | pnmtopng > "$2"
    xdotool key Escape
    i=0
    while kill -0 $pid 2>/dev/null && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
    kill -0 $pid 2>/dev/null && kill $pid
    wait $pid
    status=$?
    echo "vexa ran on a virtual display (exit status $status); screenshot: $2"
    exit $status
' run-demo "$vexa" "$out"
