# Skinned, animated models of the test corpus (a glTF file with two joints,
# an X file with 37): the window's picture at two frames of the animation
# differs, and GPU and CPU skinning draw the same picture within a small
# tolerance (the same positions rasterised by two programs may round
# differently along edges). The summary line names the model's figures.
# $1: vexa-view, $2: png_difference.
. "$(dirname "$0")/../e2e/lib.sh"
VIEW=$1 DIFF=$2
corpus=/usr/share/assimp/models
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
view() { # FRAMES OUT [OPTIONS]: runs the viewer, checks status 0 and a quiet stderr
    frames=$1 out=$2
    shift 2
    timeout 120 "$VIEW" --frames "$frames" --window "$dir/$out" "$@" "$model" \
        > "$dir/$out.stdout" 2> "$dir/$out.stderr"
    status=$?
    [ $status -eq 0 ] || { echo "status $status for $out" >&2; cat "$dir/$out.stderr" >&2; exit 1; }
    expect_lines "$dir/$out.stderr" 0 . || exit 1
}
for model in $corpus/glTF2/simple_skin/simple_skin.gltf $corpus/X/Testwuson.X; do
    [ -f "$model" ] || { echo "no $model (package assimp-testmodels)" >&2; exit 1; }
    name=$(basename "$model")
    view 10 early.png
    view 70 late.png
    view 70 late_cpu.png --cpu-skinning
    grep -Eqx "$name: [1-9][0-9]* meshes, [1-9][0-9]* vertices, [1-9][0-9]* triangles, [1-9][0-9]* joints, [1-9][0-9]* animations, loaded in [0-9.]+ ms" \
        "$dir/early.png.stdout" || { echo "summary line:" >&2; cat "$dir/early.png.stdout" >&2; exit 1; }
    set -- $("$DIFF" "$dir/early.png" "$dir/late.png" 8) || exit 1
    [ "$1" -ge 500 ] || { echo "$name: frames 10 and 70 differ in only $1 pixels" >&2; exit 1; }
    echo "$name: frames 10 and 70 differ in $1 pixels"
    set -- $("$DIFF" "$dir/late.png" "$dir/late_cpu.png" 8) || exit 1
    [ "$1" -le 200 ] || { echo "$name: GPU and CPU skinning differ in $1 pixels (largest $2)" >&2; exit 1; }
    echo "$name: GPU and CPU skinning differ in $1 pixels beyond 8 levels (largest difference $2)"
done
