# VEXA_GL=gles2 where no OpenGL ES context can be made (here: an EGL loader
# that finds no driver) ends with one line and status 1; so does a VEXA_GL
# value that names no dialect.
. "$(dirname "$0")/lib.sh"
err=$(mktemp)
trap 'rm -f "$err"' EXIT
one_line_status_1() { # PATTERN: the last run's status and stderr
    [ "$status" -eq 1 ] || { echo "exit status $status, expected 1" >&2; cat "$err" >&2; exit 1; }
    expect_lines "$err" 1 "$1" || exit 1
}
VEXA_GL=gles2 __EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent.json "$1" > /dev/null 2> "$err"
status=$?
one_line_status_1 '^vexa: cannot create the window and its OpenGL ES 2.0 context: '
VEXA_GL=vulkan "$1" > /dev/null 2> "$err"
status=$?
one_line_status_1 '^vexa: VEXA_GL must be gl21 or gles2, not "vulkan"$'
echo "no ES context, unknown dialect: one line each, status 1"
