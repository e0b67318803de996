# Run from a directory without shaders/: one line per shader file on stderr
# (eight files), then the loop runs its passes and the program ends with 0.
# The build puts shaders/ beside its programs, so they run from a copy in a
# folder of their own.
. "$(dirname "$0")/lib.sh"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
mkdir "$dir/bin" "$dir/work"
tool=$(snapshot_tool "$1") || exit 1
cp "$1" "$tool" "$dir/bin/" || exit 1
run_frames "$dir/bin/$(basename "$1")" "$dir/work" 30 "$dir/err" || exit 1
expect_lines "$dir/err" 8 '^vexa: cannot read shader file "shaders/[a-z0-9_]+\.glsl"$' || exit 1
for f in sprite3d_vs sprite3d_fs 2d_sprites_vs 2d_sprites_fs 2d_passthrough_vs \
    2d_primitives_fs 3d_primitives_vs 3d_primitives_fs; do
    grep -q "\"shaders/$f.glsl\"" "$dir/err" || { echo "no line for $f.glsl" >&2; exit 1; }
done
echo "8 missing files reported, 30 passes run, status 0"
