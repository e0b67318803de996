# A software driver that offers no multisample visuals: a private Xvfb whose
# GLX uses Mesa's softpipe, which has no multisampled configurations (checked
# first with glxinfo, so the test cannot pass on a server that has them).
# The window falls back to a context without multisampling and the demo runs
# its passes with status 0 and nothing on stderr.
. "$(dirname "$0")/lib.sh"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
tool=$(snapshot_tool "$1") || exit 1
cd "$(dirname "$0")/../.." || exit 1
# with-display.sh starts its own server when DISPLAY is unset; the server
# inherits GALLIUM_DRIVER=softpipe, the program gets llvmpipe as usual.
env -u DISPLAY GALLIUM_DRIVER=softpipe sh scripts/with-display.sh sh -c '
    if ! command -v glxinfo >/dev/null; then echo "glxinfo missing" >&2; exit 3; fi
    ms=$(glxinfo 2>/dev/null | awk "/^0x/ && \$(NF-3) > 0" | wc -l)
    all=$(glxinfo 2>/dev/null | awk "/^0x/" | wc -l)
    echo "server configurations: $all, multisampled: $ms"
    [ "$all" -gt 0 ] && [ "$ms" -eq 0 ] || exit 4
    timeout 300 "$1" --frames 30 --timings 2>"$2/err"
' check "$tool" "$dir" > "$dir/out"
status=$?
cat "$dir/out" "$dir/err" 2>/dev/null
case $status in
3) echo "cannot check the server's configurations" >&2; exit 1 ;;
4) echo "the test server still offers multisample visuals" >&2; exit 1 ;;
0) ;;
*) echo "exit status $status, expected 0" >&2; exit 1 ;;
esac
grep -qx "frames: 30" "$dir/out" || { echo "the loop did not run 30 passes" >&2; exit 1; }
[ ! -s "$dir/err" ] || { echo "unexpected output on stderr" >&2; exit 1; }
echo "no multisample visuals: fallback context, 30 passes run, status 0"
