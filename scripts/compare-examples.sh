#!/bin/sh
# compare-examples.sh NAME FOLDER SUFFIX RUNNER...: runs the examples cube,
# lights and shapes of a cross build (FOLDER/vexa-<example>SUFFIX, started
# by RUNNER from FOLDER: wine, qemu-aarch64) and of the Linux x86-64 build
# for the same number of frames, each checking its own last frame
# (examples/example_check.cpp), and compares the two pictures of each.
# The 3D parts go through two GL drivers (Mesa's llvmpipe built for two
# processors, or reached through Wine), which may round an edge or a lit
# pixel differently: a pixel may be off by up to 8 levels in a channel, and
# at most 0.1% of the pixels by more. What differs on purpose is left out:
# the lights' frame rate, and the shapes' caption (drawn with the built-in
# font where FreeType was not built) and the Linux build's ImGui panel.
# Needs a display.
#   VEXA_EXAMPLE_FRAMES=N   the frame compared (default 30)
#   VEXA_COMPARED_EXAMPLES="cube lights shapes"   the examples compared
set -e
cd "$(dirname "$0")/.."
name=$1
folder=$2
suffix=$3
shift 3
frames=${VEXA_EXAMPLE_FRAMES:-30}
examples=${VEXA_COMPARED_EXAMPLES:-cube lights shapes}

# The reference: the ci build of the test command, built here if missing.
for example in $examples; do
    if [ ! -x "build/ci/examples/vexa-$example" ]; then
        cmake --preset ci >/dev/null
        cmake --build --preset ci --target vexa-cube vexa-lights vexa-shapes >/dev/null
        break
    fi
done
pictures=$(pwd)/build/pictures
mkdir -p "$pictures"
# left_out EXAMPLE: the rectangles not compared, "x0,y0,x1,y1 ...".
left_out() {
    case $1 in
    lights) echo "0,0,240,40" ;;
    shapes) echo "0,0,1024,64 0,0,470,470" ;;
    esac
}
for example in $examples; do
    linux=$pictures/linux-x86_64-$example-for-$name.ppm
    cross=$pictures/$name-$example.ppm
    rm -f "$linux" "$cross"
    VEXA_CHECK=$example VEXA_CHECK_FRAMES=$frames VEXA_CHECK_PICTURE=$linux \
        "build/ci/examples/vexa-$example"
    # The picture is written in the program's folder (a path Wine reads as
    # the program's own) and moved from there.
    (cd "$folder" && rm -f "example-$example.ppm" &&
        VEXA_CHECK=$example VEXA_CHECK_FRAMES=$frames VEXA_CHECK_PICTURE="example-$example.ppm" \
            "$@" "./vexa-$example$suffix")
    mv "$folder/example-$example.ppm" "$cross"
    python3 - "$linux" "$cross" "$name $example" "$(left_out "$example")" <<'EOF'
import sys

def read(path):
    data = open(path, "rb").read()
    fields = data.split(None, 4)
    return int(fields[1]), int(fields[2]), fields[4]

(w1, h1, a), (w2, h2, b) = read(sys.argv[1]), read(sys.argv[2])
if (w1, h1) != (w2, h2):
    sys.exit(f"compare-examples: {sys.argv[3]}: sizes differ: {w1}x{h1} and {w2}x{h2}")
TOLERANCE, SHARE = 8, 0.001
left_out = [tuple(map(int, r.split(","))) for r in sys.argv[4].split()]
worst, off, counted = 0, 0, 0
for y in range(h1):
    for x in range(w1):
        if any(x0 <= x < x1 and y0 <= y < y1 for x0, y0, x1, y1 in left_out):
            continue
        p = (y * w1 + x) * 3
        d = max(abs(a[p] - b[p]), abs(a[p + 1] - b[p + 1]), abs(a[p + 2] - b[p + 2]))
        worst = max(worst, d)
        off += d > TOLERANCE
        counted += 1
print(f"{sys.argv[3]}: frame compared with Linux x86-64's: {off} of {counted} pixels differ by "
      f"more than {TOLERANCE} (largest difference {worst})")
if off > SHARE * counted:
    sys.exit(f"compare-examples: {sys.argv[3]}: the picture differs from Linux x86-64's")
EOF
done
