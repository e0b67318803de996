# The OpenGL ES 2.0 dialect (VEXA_GL=gles2, an EGL context on Mesa) draws what
# OpenGL 2.1 draws: the demonstration's picture byte for byte and its window
# read back within a filtering tolerance, at the same frame; the report names
# each context's GL_VERSION. The cube example and the model viewer run on ES
# as well.
# $1: vexa-snapshot, $2: png_difference, $3: vexa-cube, $4: vexa-view.
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "$1" >&2; cat "$dir/err" >&2 2>/dev/null; exit 1; }
frames=90
timeout 120 "$1" --frames $frames --timings --window "$dir/gl.png" --picture "$dir/gl_picture.png" \
    > "$dir/gl.txt" 2> "$dir/err" || fail "OpenGL 2.1 run failed"
VEXA_GL=gles2 timeout 120 "$1" --frames $frames --timings --window "$dir/es.png" \
    --picture "$dir/es_picture.png" > "$dir/es.txt" 2> "$dir/err" || fail "OpenGL ES run failed"
[ ! -s "$dir/err" ] || fail "OpenGL ES run wrote to stderr"
grep -q '^GL: [0-9]' "$dir/gl.txt" || fail "desktop report names no OpenGL version"
grep -q '^GL: OpenGL ES [0-9]' "$dir/es.txt" || fail "ES report names no OpenGL ES version"
cmp -s "$dir/gl_picture.png" "$dir/es_picture.png" || fail "the pictures differ"
# The window: the same picture drawn through a linearly filtered sprite.
read -r over largest <<END
$("$2" "$dir/gl.png" "$dir/es.png" 2)
END
echo "window: $over pixels differ by more than 2 (largest difference $largest)"
[ "$over" = 0 ] || fail "the ES window differs from the desktop one"
VEXA_GL=gles2 timeout 120 "$3" --frames 20 2> "$dir/err" || fail "the cube example failed on ES"
model=/usr/share/assimp/models/glTF2/simple_skin/simple_skin.gltf
VEXA_GL=gles2 timeout 120 "$4" --frames 20 "$model" > /dev/null 2> "$dir/err" ||
    fail "the viewer failed on ES"
[ ! -s "$dir/err" ] || fail "the viewer wrote to stderr on ES"
echo "OpenGL ES: $(sed -n 's/^GL: //p' "$dir/es.txt")"
echo "same picture, same window, cube and viewer run"
