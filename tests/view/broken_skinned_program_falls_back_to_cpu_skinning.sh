# When the skinned-model program does not build, skinned models are skinned
# on the CPU by themselves, saying so in one line: the picture equals the one
# drawn with --cpu-skinning and the normal shaders.
# $1: vexa-view, $2: png_difference.
. "$(dirname "$0")/../e2e/lib.sh"
model=${VEXA_SKINNED_MODEL:-/usr/share/assimp/models/glTF2/simple_skin/simple_skin.gltf}
[ -f "$model" ] || { echo "no $model (package assimp-testmodels)" >&2; exit 1; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
private_shaders "$dir" || exit 1
printf 'void main() { this does not compile }\n' > "$dir/shaders/model_skinned_vs.glsl"
timeout 120 "$1" --frames 40 --window "$dir/cpu.png" --cpu-skinning "$model" > /dev/null 2> "$dir/err" \
    || { echo "reference run failed:" >&2; cat "$dir/err" >&2; exit 1; }
(cd "$dir" && timeout 120 "$1" --frames 40 --window "$dir/fallback.png" "$model") > /dev/null 2> "$dir/err"
status=$?
cut -c1-200 "$dir/err"
[ $status -eq 0 ] || { echo "status $status, expected 0" >&2; exit 1; }
expect_lines "$dir/err" 2 'model_skinned_vs\.glsl|skinned on the CPU' || exit 1
grep -q 'skinned on the CPU' "$dir/err" || { echo "no fallback line" >&2; exit 1; }
set -- $("$2" "$dir/cpu.png" "$dir/fallback.png" 0) || exit 1
[ "$1" -eq 0 ] || { echo "the fallback picture differs from CPU skinning in $1 pixels" >&2; exit 1; }
echo "skinned program broken: one line, CPU skinning, same picture"
