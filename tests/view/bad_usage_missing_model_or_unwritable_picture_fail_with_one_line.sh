# Bad usage, a missing model file, a file the importer rejects, a picture
# that cannot be written and a missing shader folder each give exactly one
# line on stderr and status 1.
# $1: vexa-view.
. "$(dirname "$0")/../e2e/lib.sh"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fails() { # PATTERN ARGS...: status 1 with one stderr line matching PATTERN
    pattern=$1
    shift
    timeout 60 "$VIEW" "$@" > /dev/null 2> "$dir/err"
    status=$?
    [ $status -eq 1 ] || { echo "status $status for '$*', expected 1" >&2; cat "$dir/err" >&2; exit 1; }
    expect_lines "$dir/err" 1 "$pattern" || exit 1
}
VIEW=$1
fails '^usage: vexa-view '
fails '^usage: vexa-view ' --frames 0 model.gltf
fails '^usage: vexa-view ' --bogus model.gltf
fails '^usage: vexa-view ' one.gltf two.gltf
fails 'no_such_model\.gltf' --frames 1 "$dir/no_such_model.gltf"
printf 'this is not a model\n' > "$dir/garbage.obj.gltf"
fails 'garbage\.obj\.gltf' --frames 1 "$dir/garbage.obj.gltf"
model=/usr/share/assimp/models/glTF2/simple_skin/simple_skin.gltf
fails '^vexa-view: cannot write .*/no_dir/shot\.png' --frames 2 --window "$dir/no_dir/shot.png" "$model"
fails '^vexa-view: no shader folder "[^"]*/no_shaders"$' --shaders "$dir/no_shaders" --frames 2 "$model"
echo "bad usage, a missing file, a rejected file, an unwritable picture, no shaders: one line each, status 1"
