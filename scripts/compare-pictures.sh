#!/bin/sh
# compare-pictures.sh NAME FOLDER RUNNER... PROGRAM: runs a cross build's
# vexa-snapshot (PROGRAM, started by RUNNER from FOLDER: wine, qemu-aarch64)
# for a few frame counts with --picture, and compares each picture with the
# Linux x86-64 build's, pixel byte for pixel byte (decoded by netpbm's
# pngtopam, so the PNG encoders' compression may differ). Needs a display.
#   VEXA_PICTURE_FRAMES="1 30 120"   the frame counts
set -e
cd "$(dirname "$0")/.."
name=$1
folder=$2
shift 2
frames=${VEXA_PICTURE_FRAMES:-1 30 120}
command -v pngtopam >/dev/null || { echo "compare-pictures: missing pngtopam (package netpbm)" >&2; exit 1; }

# The reference: the ci build of the test command, built here if missing.
if [ ! -x build/ci/vexa-snapshot ]; then
    cmake --preset ci >/dev/null
    cmake --build --preset ci --target vexa-snapshot >/dev/null
fi
pictures=$(pwd)/build/pictures
mkdir -p "$pictures"
for n in $frames; do
    build/ci/vexa-snapshot --frames "$n" --picture "$pictures/linux-x86_64-$n.png"
    (cd "$folder" && "$@" --frames "$n" --picture "$pictures/$name-$n.png")
    pngtopam -alphapam "$pictures/linux-x86_64-$n.png" >"$pictures/linux-x86_64-$n.pam"
    pngtopam -alphapam "$pictures/$name-$n.png" >"$pictures/$name-$n.pam"
    if ! cmp -s "$pictures/linux-x86_64-$n.pam" "$pictures/$name-$n.pam"; then
        echo "compare-pictures: $name's picture of frame $n differs from Linux x86-64's" \
            "($pictures/$name-$n.png)" >&2
        exit 1
    fi
    echo "$name: picture of frame $n equals Linux x86-64's ($(wc -c <"$pictures/$name-$n.pam") bytes)"
done
