#!/bin/sh
# Runs a command with an X display. When DISPLAY is unset it starts a private
# Xvfb server (24-bit, with GLX) on a free display number, forces Mesa's
# llvmpipe software rasteriser, and stops the server when the command ends.
# -noreset: by default the server resets itself whenever its last client
# disconnects, and a program that connects during that reset fails with "x11
# not available". Tests that poll the display with xdotool while the program
# starts hit that race often.
#
# A command run here has a display, so the real-GL tests it runs must find GL:
# VEXA_REQUIRE_GL makes them fail instead of skipping when no context comes up.
export VEXA_REQUIRE_GL=1
if [ -n "$DISPLAY" ]; then
    exec "$@"
fi
n=99
while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do
    n=$((n + 1))
done
Xvfb ":$n" -screen 0 1280x800x24 +extension GLX -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb_pid=$!
i=0
while [ ! -e "/tmp/.X11-unix/X$n" ] && [ $i -lt 100 ]; do
    sleep 0.05
    i=$((i + 1))
done
if [ ! -e "/tmp/.X11-unix/X$n" ]; then
    echo "with-display: Xvfb did not start on :$n" >&2
    kill "$xvfb_pid" 2>/dev/null
    exit 1
fi
export DISPLAY=":$n"
export LIBGL_ALWAYS_SOFTWARE=1
export GALLIUM_DRIVER=llvmpipe
"$@"
status=$?
kill "$xvfb_pid" 2>/dev/null
wait "$xvfb_pid" 2>/dev/null
exit $status
