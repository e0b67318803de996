# A directive naming a 5000-character file: expansion stops at it (no buffer
# holds such a path), the leftover directive fails the compile with one line,
# the loop runs its passes and the program ends with 0.
. "$(dirname "$0")/lib.sh"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
private_shaders "$dir" || exit 1
name=$(LC_ALL=C awk 'BEGIN { for (i = 0; i < 5000; i++) printf "a" }')
{
    printf '#include "%s"\n' "$name"
    cat "$(dirname "$0")/../../shaders/2d_sprites_vs.glsl"
} > "$dir/shaders/2d_sprites_vs.glsl"
run_frames "$1" "$dir" 30 "$dir/err" || exit 1
expect_lines "$dir/err" 1 '^vexa: shader compile failed: shaders/2d_sprites_vs\.glsl: ' || exit 1
echo "5000-character include name reported in one line, 30 passes run, status 0"
