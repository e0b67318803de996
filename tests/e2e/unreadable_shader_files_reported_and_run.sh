# Shader files that exist but cannot be read: one line per file on stderr,
# then the loop runs its passes and the program ends with 0. Two cases:
#  1. every stage file without read permission (chmod 000). Root reads such
#     files anyway, so when the test runs as root the program is run as the
#     unprivileged user "nobody" (setpriv); without setpriv the case is
#     skipped and says so.
#  2. every stage path names a directory: opening it succeeds on Linux, even
#     for root, but it has no content to read.
. "$(dirname "$0")/lib.sh"
dir=$(mktemp -d)
trap 'chmod -R u+rwx "$dir" 2>/dev/null; rm -rf "$dir"' EXIT
stages="sprite3d_vs sprite3d_fs 2d_sprites_vs 2d_sprites_fs 2d_passthrough_vs \
2d_primitives_fs 3d_primitives_vs 3d_primitives_fs"
pattern='^vexa: cannot read shader file "shaders/[a-z0-9_]+\.glsl"$'

# Case 1: no read permission.
private_shaders "$dir/perm" || exit 1
for f in $stages; do chmod 000 "$dir/perm/shaders/$f.glsl"; done
tool=$(snapshot_tool "$1") || exit 1
as_user=""
if [ "$(id -u)" -eq 0 ]; then
    if command -v setpriv >/dev/null 2>&1; then
        as_user="setpriv --reuid=65534 --regid=65534 --clear-groups"
        chmod 755 "$dir" "$dir/perm" "$dir/perm/shaders"
    else
        echo "case 1 skipped: running as root and setpriv is missing"
    fi
fi
if [ "$(id -u)" -ne 0 ] || [ -n "$as_user" ]; then
    out=$(cd "$dir/perm" && timeout 300 $as_user "$tool" --frames 30 --timings 2>"$dir/err1")
    status=$?
    cat "$dir/err1"
    [ $status -eq 0 ] || { echo "case 1: exit status $status, expected 0" >&2; exit 1; }
    echo "$out" | grep -qx "frames: 30" || { echo "case 1: passes not run: $out" >&2; exit 1; }
    expect_lines "$dir/err1" 8 "$pattern" || exit 1
    echo "case 1: 8 files without read permission reported, 30 passes run${as_user:+ (as nobody)}"
fi

# Case 2: directories where the files should be.
private_shaders "$dir/dirs" || exit 1
for f in $stages; do
    rm "$dir/dirs/shaders/$f.glsl" && mkdir "$dir/dirs/shaders/$f.glsl"
done
run_frames "$1" "$dir/dirs" 30 "$dir/err2" || exit 1
expect_lines "$dir/err2" 8 "$pattern" || exit 1
echo "case 2: 8 directories in place of files reported, 30 passes run"
