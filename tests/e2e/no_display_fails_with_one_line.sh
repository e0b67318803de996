# With no display reachable the program prints one line and ends with status 1.
err=$(mktemp)
DISPLAY=:31999 "$1" 2>"$err" >/dev/null
status=$?
lines=$(wc -l < "$err")
cat "$err"
rm -f "$err"
[ $status -eq 1 ] || { echo "exit status $status, expected 1" >&2; exit 1; }
[ "$lines" -eq 1 ] || { echo "$lines lines on stderr, expected 1" >&2; exit 1; }
