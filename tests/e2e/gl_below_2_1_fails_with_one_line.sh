# A context that reports OpenGL 2.0 (Mesa's version override) is refused by
# the program's own version check: one line naming the version, status 1.
err=$(mktemp)
MESA_GL_VERSION_OVERRIDE=2.0 "$1" 2>"$err" >/dev/null
status=$?
cat "$err"
lines=$(wc -l < "$err")
line=$(cat "$err")
rm -f "$err"
[ $status -eq 1 ] || { echo "exit status $status, expected 1" >&2; exit 1; }
[ "$lines" -eq 1 ] || { echo "$lines lines on stderr, expected 1" >&2; exit 1; }
case "$line" in
"vexa: the OpenGL context is too old: OpenGL 2.0"*) ;;
*) echo "not the version check's line" >&2; exit 1 ;;
esac
echo "OpenGL 2.0 refused in one line, status 1"
