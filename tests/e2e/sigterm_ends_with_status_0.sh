# SIGTERM ends the program as closing the window does, with status 0.
. "$(dirname "$0")/lib.sh"
"$1" & pid=$!
wait_window $pid >/dev/null || exit 1
sleep 0.5
kill -TERM $pid
wait_exit $pid
status=$?
[ $status -eq 0 ] || { echo "exit status $status, expected 0" >&2; exit 1; }
echo "ended with status 0 on SIGTERM"
