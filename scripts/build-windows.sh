#!/bin/sh
# Cross-builds the engine for 64-bit Windows with Debian's MinGW-w64 into
# build/windows/ (the CMake preset windows): vexa.exe, vexa-snapshot.exe,
# vexa-fractal-check.exe, the unit tests and the examples, with the DLLs they
# need and the shaders folder beside them, so the folder runs as it is on
# Windows (or under Wine), from wherever it is copied.
# cmake --install build/windows --prefix P then gives the Windows package:
# the engine, the libraries below and P/share/vexa/toolchain.cmake.
# SDL2, GLEW, Highway, libpng and GoogleTest are built from Debian's own
# source packages the first time and kept in the cache (scripts/cross-common.sh).
# So are Assimp and SDL2_image, for the model loader and vexa-view.exe.
set -e
cd "$(dirname "$0")/.."
SCRIPT=build-windows
. scripts/cross-common.sh

install_packages g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix libz-mingw-w64-dev \
    dpkg-dev cmake ninja-build
require_tool x86_64-w64-mingw32-g++-posix g++-mingw-w64-x86-64-posix
require_tool x86_64-w64-mingw32-gcc-posix gcc-mingw-w64-x86-64-posix
require_tool dpkg-source dpkg-dev
require_tool cmake cmake
require_tool ninja ninja-build
[ -f /usr/x86_64-w64-mingw32/include/zlib.h ] || die "missing zlib for MinGW (package libz-mingw-w64-dev)"
enable_source_packages

TOOLCHAIN=$(pwd)/cmake/toolchain-mingw64.cmake
GCC_VERSION=$(x86_64-w64-mingw32-gcc-posix -dumpversion)
TAG="mingw64-gcc$GCC_VERSION"
JOBS=${VEXA_JOBS:-2}

# cmake_library SOURCE PREFIX OPTIONS...: configure, build and install a
# CMake project with the MinGW toolchain.
cmake_library() {
    src=$1
    prefix=$2
    shift 2
    cmake -S "$src" -B "$src/vexa-build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" "-DVEXA_CROSS_PREFIXES=$PREFIXES" "$@"
    cmake --build "$src/vexa-build" -j "$JOBS"
    cmake --install "$src/vexa-build"
}

# SDL2 as a DLL with SDL2main; the parts the engine never starts (audio,
# 2D renderer, joysticks, haptics, sensors, power) are left out, which
# halves the build.
build_sdl2() {
    cmake_library "$1" "$2" -DSDL_SHARED=ON -DSDL_STATIC=OFF -DSDL_TEST=OFF -DSDL2_DISABLE_SDL2MAIN=OFF \
        -DSDL_AUDIO=OFF -DSDL_RENDER=OFF -DSDL_JOYSTICK=OFF -DSDL_HIDAPI=OFF -DSDL_HAPTIC=OFF \
        -DSDL_SENSOR=OFF -DSDL_POWER=OFF
}

# GLEW's source package carries the generated glew.c: one file into a static
# library. Static because the unit tests replace GLEW's entry points with the
# recording stand-in, which a DLL's imported symbols would not allow.
build_glew() {
    mkdir -p "$2/lib" "$2/include"
    x86_64-w64-mingw32-gcc-posix -O2 -DGLEW_STATIC -DGLEW_NO_GLU -I"$1/include" -c "$1/src/glew.c" \
        -o "$1/glew.o"
    x86_64-w64-mingw32-ar rcs "$2/lib/libglew32s.a" "$1/glew.o"
    cp -r "$1/include/GL" "$2/include/"
}

build_highway() {
    cmake_library "$1" "$2" -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTING=OFF -DHWY_ENABLE_TESTS=OFF \
        -DHWY_ENABLE_EXAMPLES=OFF -DHWY_ENABLE_CONTRIB=OFF -DHWY_ENABLE_INSTALL=ON
}

build_libpng() {
    cmake_library "$1" "$2" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
        -DPNG_BUILD_ZLIB=OFF
}

build_googletest() {
    cmake_library "$1" "$2" -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON
}

PREFIXES=""
for lib in libsdl2:build_sdl2 glew:build_glew:-static highway:build_highway \
    libpng1.6:build_libpng googletest:build_googletest; do
    name=${lib%%:*}
    recipe=${lib#*:}
    variant=${recipe#*:}
    [ "$variant" = "$recipe" ] && variant=""
    version=$(source_version "$name")
    [ -n "$version" ] || die "no Debian source package $name (apt-get source $name)"
    dir=$(cached_build "$name" "$version" "$TAG$variant" "${recipe%%:*}")
    PREFIXES="${PREFIXES:+$PREFIXES;}$dir"
    [ "$name" = glew ] && glew_dir=$dir
done
# The model loader's libraries (Assimp, SDL2_image), built the same way.
loader=$(sh scripts/build-loader-libraries.sh windows | tail -n 1)
[ -n "$loader" ] || die "the model loader's libraries were not built"
PREFIXES="$PREFIXES;$loader"
[ "${1:-}" = "--libraries" ] && exit 0

# The engine, its programs, the unit tests and the examples: the preset
# windows (CMakePresets.json) with the library folders above. CMake's
# FindGLEW looks for Visual C++ library names on Windows, so the static
# library is named to it.
out=build/windows
# Paths found in other library folders (an older version) must not stay.
if [ "$(cat "$out/library-folders" 2>/dev/null)" != "$PREFIXES" ]; then
    rm -f "$out/CMakeCache.txt"
fi
cmake --preset windows "-DVEXA_CROSS_PREFIXES=$PREFIXES" \
    -DGLEW_STATIC_LIBRARY_RELEASE="$glew_dir/lib/libglew32s.a" >/dev/null
echo "$PREFIXES" >"$out/library-folders"
cmake --build --preset windows -j "$JOBS"

# A runnable distribution: every DLL the programs load, and the shaders.
mingw_runtime=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")
for dll in "$mingw_runtime/libstdc++-6.dll" "$mingw_runtime/libgcc_s_seh-1.dll" \
    /usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll /usr/x86_64-w64-mingw32/lib/zlib1.dll; do
    [ -f "$dll" ] && cp -u "$dll" "$out/"
done
old_ifs=$IFS
IFS=';'
for dir in $PREFIXES; do
    for dll in "$dir"/bin/*.dll; do
        [ -f "$dll" ] && cp -u "$dll" "$out/"
    done
done
IFS=$old_ifs
rm -rf "$out/shaders"
cp -r shaders "$out/shaders"
echo "windows: $(ls "$out"/*.exe | wc -l) programs in $out"
