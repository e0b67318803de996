#!/bin/sh
# Cross-builds the engine for 64-bit ARM Linux into build/aarch64/ (the CMake
# preset aarch64): vexa,
# vexa-snapshot, vexa-fractal-check, the unit tests and the examples, against
# Debian's arm64 development packages (installed here beside the host's own,
# with the arm64 architecture added to dpkg). The programs run on an arm64
# Debian machine, or here under qemu-aarch64 (scripts/test-aarch64.sh).
# The model importer (Assimp, SDL2_image) is left out of this build.
set -e
cd "$(dirname "$0")/.."
SCRIPT=build-aarch64
. scripts/cross-common.sh

if ! dpkg --print-foreign-architectures | grep -qx arm64; then
    $SUDO dpkg --add-architecture arm64
    $SUDO $APT update -qq >/dev/null 2>&1 || die "apt-get update failed after adding the arm64 architecture"
fi
install_packages g++-aarch64-linux-gnu cmake ninja-build qemu-user libc6:arm64 libsdl2-dev:arm64 \
    libglew-dev:arm64 libgl-dev:arm64 libgl1-mesa-dri:arm64 libhwy-dev:arm64 libgtest-dev:arm64 \
    libgmock-dev:arm64 libpng-dev:arm64
require_tool aarch64-linux-gnu-g++ g++-aarch64-linux-gnu
require_tool qemu-aarch64 qemu-user
require_tool cmake cmake
require_tool ninja ninja-build

out=build/aarch64
cmake --preset aarch64 -DVEXA_ASSETS=OFF >/dev/null
cmake --build --preset aarch64 -j "${VEXA_JOBS:-2}"
# The programs not made by vexa_add_application (vexa, the tests) find
# shaders/ in their working directory or beside them.
rm -rf "$out/shaders"
cp -r shaders "$out/shaders"
echo "aarch64: built in $out"
