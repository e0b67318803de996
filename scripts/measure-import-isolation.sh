#!/bin/sh
# The cost of decoding model files in the decoder process: import time of
# glTF2/BoxTextured (12 triangles: the fixed cost), glTF2/2CylinderEngine
# (Assimp's corpus) and of a generated 100 352-triangle grid (OBJ), in-process,
# isolated without the sandbox (VEXA_DECODER_SANDBOX=off) and sandboxed,
# median of 5 runs each, as vexa-view
# reports it ("loaded in X ms": guards, decoding, the answer's copy, the
# checks and the GL objects). Needs a display (run it through
# scripts/with-display.sh). $1: build folder (default build/release).
build=${1:-build/release}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
python3 - "$dir/grid.obj" <<'PY'
import sys
n = 224  # 224 x 224 quads, two triangles each
with open(sys.argv[1], "w") as f:
    for y in range(n + 1):
        for x in range(n + 1):
            f.write("v %g %g %g\n" % (x / n, y / n, ((x * 7 + y * 13) % 17) / 170.0))
    for y in range(n):
        for x in range(n):
            a = y * (n + 1) + x + 1
            f.write("f %d %d %d\nf %d %d %d\n" % (a, a + 1, a + n + 2, a, a + n + 2, a + n + 1))
PY
median() { sort -n | sed -n 3p; }
for model in /usr/share/assimp/models/glTF2/BoxTextured-glTF/BoxTextured.gltf \
    /usr/share/assimp/models/glTF2/2CylinderEngine-glTF-Binary/2CylinderEngine.glb \
    "$dir/grid.obj"; do
    for mode in --in-process isolated sandboxed; do
        flag=$mode
        sandbox=
        [ "$mode" = --in-process ] || flag=
        [ "$mode" = isolated ] && sandbox=off
        times=$(for run in 1 2 3 4 5; do
            VEXA_DECODER_SANDBOX=$sandbox "$build/vexa-view" --frames 1 $flag "$model" 2> /dev/null |
                sed -n 's/.*loaded in \([0-9.]*\) ms.*/\1/p'
        done)
        echo "$(basename "$model") $mode: median $(echo "$times" | median) ms of" $times
    done
done
