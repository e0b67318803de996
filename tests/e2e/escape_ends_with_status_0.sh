# Escape typed into the window ends the program with status 0.
. "$(dirname "$0")/lib.sh"
"$1" & pid=$!
wid=$(wait_window $pid) || exit 1
sleep 0.5
xdotool windowfocus --sync "$wid" 2>/dev/null
xdotool key --window "$wid" Escape 2>/dev/null
xdotool key Escape
wait_exit $pid
status=$?
[ $status -eq 0 ] || { echo "exit status $status, expected 0" >&2; exit 1; }
echo "ended with status 0 on Escape"
