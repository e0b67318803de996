#!/bin/sh
# The engine as another project sees it: installs a build into a temporary
# prefix, configures examples/ on its own against it (find_package(vexa)),
# builds it and runs the example for a few frames from an unrelated working
# directory, so the GLSL files can only come from the installed package. The
# example exits 0 only when the last frame it drew is not a single colour.
# Needs a display (run it under scripts/with-display.sh).
# Usage: sh scripts/test-package.sh [build directory (build/ci)]
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/ci}" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
cmake -S "$root/examples" -B "$scratch/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_PREFIX_PATH="$scratch/prefix" >/dev/null
cmake --build "$scratch/build" >/dev/null
cd "$scratch"
./build/vexa-cube --frames 10
echo "package: the example built against the installed engine ran and drew"
