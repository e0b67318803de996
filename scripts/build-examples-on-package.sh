#!/bin/sh
# build-examples-on-package.sh NAME SCRATCH: the cross-built package of
# build/NAME as a user has it: installed, moved to SCRATCH/package, and
# examples/ copied out of the tree to SCRATCH/app and built on it with the
# package's toolchain file into SCRATCH/app-build (vexa_add_application puts
# the shaders, the files and on Windows the DLLs beside each program). On
# failure the end of the build's log and one line, status 1.
set -e
cd "$(dirname "$0")/.."
name=$1
scratch=$2
cmake --install "build/$name" --prefix "$scratch/installed" >/dev/null
mv "$scratch/installed" "$scratch/package"
mkdir "$scratch/app"
cp examples/*.cpp examples/CMakeLists.txt "$scratch/app/"
if ! { cmake -S "$scratch/app" -B "$scratch/app-build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$scratch/package/share/vexa/toolchain.cmake" \
    -DCMAKE_PREFIX_PATH="$scratch/package" >"$scratch/app.log" 2>&1 &&
    cmake --build "$scratch/app-build" >>"$scratch/app.log" 2>&1; }; then
    tail -n 30 "$scratch/app.log"
    echo "build-examples-on-package: the examples did not build on the $name package" >&2
    exit 1
fi
