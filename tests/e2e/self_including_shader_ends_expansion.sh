# A stage file that includes itself, and one that includes a file including
# it back: expansion stops after a bounded number of steps, the leftover
# directive fails the compile with one line per file, the loop runs its
# passes and the program ends with 0 well within the deadline.
. "$(dirname "$0")/lib.sh"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
private_shaders "$dir" || exit 1
printf '#include "2d_sprites_fs.glsl"\nvoid main() { gl_FragColor = vec4(1.0); }\n' \
    > "$dir/shaders/2d_sprites_fs.glsl"
printf '#include <ping.glsl>\nvoid main() { gl_Position = ftransform(); }\n' \
    > "$dir/shaders/3d_primitives_vs.glsl"
printf '#include <pong.glsl>\n' > "$dir/shaders/ping.glsl"
printf '#include <ping.glsl>\n' > "$dir/shaders/pong.glsl"
run_frames "$1" "$dir" 30 "$dir/err" || exit 1
expect_lines "$dir/err" 2 \
    '^vexa: shader compile failed: shaders/(2d_sprites_fs|3d_primitives_vs)\.glsl: ' || exit 1
grep -q "shaders/2d_sprites_fs.glsl" "$dir/err" || { echo "self-include not reported" >&2; exit 1; }
grep -q "shaders/3d_primitives_vs.glsl" "$dir/err" || { echo "mutual include not reported" >&2; exit 1; }
echo "self and mutual includes ended, one line each, 30 passes run, status 0"
