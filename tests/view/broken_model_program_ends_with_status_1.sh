# A viewer whose model program does not build could only show an empty
# window: it ends before the window appears with status 1, its last line
# saying why (the lines before it are the shader compiler's).
# $1: vexa-view.
. "$(dirname "$0")/../e2e/lib.sh"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
private_shaders "$dir" || exit 1
printf 'void main() { this does not compile }\n' > "$dir/shaders/model_fs.glsl"
model=$(cd "$(dirname "$0")/../.." && pwd)/docs/models/bending_tube.gltf
(cd "$dir" && timeout 120 "$1" --frames 5 "$model") > /dev/null 2> "$dir/err"
status=$?
cut -c1-200 "$dir/err"
[ $status -eq 1 ] || { echo "status $status, expected 1" >&2; exit 1; }
tail -n 1 "$dir/err" | grep -qx 'vexa-view: the model program did not build' \
    || { echo "the last line does not say the model program did not build" >&2; exit 1; }
echo "model program broken: status 1, one line saying so last"
