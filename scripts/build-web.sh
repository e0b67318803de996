#!/bin/sh
# Builds the engine for web browsers with Debian's Emscripten through CMake
# (the preset web, cmake/toolchain-web.cmake) into build/web/: the
# demonstration's page vexa.html with its two builds (vexa.js, .wasm, .data;
# vexa-threads.* for cross-origin isolated pages), the examples' pages
# (examples/vexa-cube.html ...), and for Node vexa-fractal-check.js and the
# unit tests, tests/vexa_unit_tests.js (GoogleTest built for Emscripten from
# Debian's source package, scripts/build-web-googletest.sh). Install
# it as a package with cmake --install build/web --prefix P.
#
# SDL2 comes from Debian's source package, built once for Emscripten and kept
# outside the work tree (VEXA_CACHE, /var/cache/vexa by default) in a folder
# named after its version. The folder is built under a temporary name and
# renamed only when complete, so an interrupted build leaves nothing a later
# run would trust.
#   sh scripts/build-web.sh          SDL2 (if not cached), engine, demonstration, examples
#   sh scripts/build-web.sh sdl2     SDL2 only
set -e
cd "$(dirname "$0")/.."
root=$(pwd)
VEXA_CACHE=${VEXA_CACHE:-/var/cache/vexa}
APT="apt-get -o DPkg::Lock::Timeout=900"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
# Emscripten's optimiser (JavaScript) finds its modules only through NODE_PATH.
export NODE_PATH=/usr/share/nodejs

die() {
    echo "build-web: $*" >&2
    exit 1
}

missing=""
for p in emscripten cmake ninja-build make dpkg-dev; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "installing:$missing"
    export DEBIAN_FRONTEND=noninteractive
    $SUDO $APT update -qq >/dev/null
    # shellcheck disable=SC2086
    $SUDO $APT install -y -qq --no-install-recommends $missing >/dev/null || die "cannot install:$missing"
fi

# apt-get source needs a deb-src line for the Debian archive the machine uses.
if [ -z "$(apt-cache showsrc libsdl2 2>/dev/null)" ]; then
    list=/etc/apt/sources.list.d/vexa-deb-src.list
    if [ ! -f $list ]; then
        sources=/etc/apt/sources.list.d/debian.sources
        [ -f $sources ] || die "no $sources to derive a deb-src line from"
        uri=$(sed -n 's/^URIs: *//p' $sources | head -n 1 | cut -d' ' -f1)
        suite=$(sed -n 's/^Suites: *//p' $sources | head -n 1 | cut -d' ' -f1)
        key=$(sed -n 's/^Signed-By: *//p' $sources | head -n 1)
        options=""
        [ -n "$key" ] && options="[signed-by=$key] "
        echo "deb-src $options$uri $suite main" | $SUDO tee $list >/dev/null
    fi
    $SUDO $APT update -qq >/dev/null
fi

version=$(apt-cache showsrc libsdl2 | sed -n 's/^Version: //p' | head -n 1)
[ -n "$version" ] || die "no source package libsdl2"

# build_sdl2 VARIANT [CMAKE ARGUMENTS]: SDL2 for Emscripten into the cache
# folder libsdl2-VERSION-VARIANT, once.
build_sdl2() {
    dir=$VEXA_CACHE/libsdl2-$version-$1
    shift
    [ -f "$dir/lib/libSDL2.a" ] && return 0
    echo "build-web: building SDL2 $version for Emscripten into $dir (5 to 10 minutes)"
    $SUDO mkdir -p "$VEXA_CACHE"
    work=$(mktemp -d "$VEXA_CACHE/.libsdl2-emscripten.XXXXXX")
    (
        cd "$work"
        apt-get source -qq "libsdl2=$version" >/dev/null 2>&1 || apt-get source "libsdl2=$version"
        src=$(find . -maxdepth 1 -type d -name 'libsdl2-*' | head -n 1)
        emcmake cmake -S "$src" -B build -DCMAKE_BUILD_TYPE=Release -DSDL_SHARED=OFF -DSDL_STATIC=ON \
            -DSDL_TEST=OFF -DCMAKE_INSTALL_PREFIX="$work/install" "$@" >build.log 2>&1 ||
            { tail -n 30 build.log; exit 1; }
        cmake --build build -j2 >>build.log 2>&1 || { tail -n 30 build.log; exit 1; }
        cmake --install build >>build.log 2>&1 || { tail -n 30 build.log; exit 1; }
    ) || { rm -rf "$work"; die "SDL2 build failed"; }
    rm -rf "$dir"
    mv "$work/install" "$dir"
    rm -rf "$work"
}
sdl=$VEXA_CACHE/libsdl2-$version-emscripten
build_sdl2 emscripten
# WebAssembly with threads links only objects built for shared memory, SDL2's
# too. The engine uses SDL2's video and events only: the subsystems it does
# not call are left out, which halves this build.
sdl_threads=$VEXA_CACHE/libsdl2-$version-emscripten-pthread
build_sdl2 emscripten-pthread -DCMAKE_C_FLAGS=-pthread -DSDL_AUDIO=OFF -DSDL_JOYSTICK=OFF \
    -DSDL_HAPTIC=OFF -DSDL_SENSOR=OFF -DSDL_POWER=OFF -DSDL_HIDAPI=OFF -DSDL_RENDER=OFF
[ "$1" = sdl2 ] && exit 0

# The model loader's libraries (Assimp, SDL2_image, zlib), both variants,
# built once into the cache like SDL2; each script prints its prefixes on its
# last line.
mkdir -p build
for variant in web web-pthread; do
    sh scripts/build-loader-libraries.sh $variant >build/web-loader-$variant.txt \
        2>build/web-loader-$variant.log ||
        { tail -n 30 build/web-loader-$variant.log; die "building the loader's libraries ($variant) failed"; }
done
loader=$(tail -n 1 build/web-loader-web.txt)
loader_threads=$(tail -n 1 build/web-loader-web-pthread.txt)
# GoogleTest for the unit tests under Node (threads), the same way.
sh scripts/build-web-googletest.sh >build/web-googletest.txt 2>build/web-googletest.log ||
    { tail -n 30 build/web-googletest.log; die "building GoogleTest for Emscripten failed"; }
googletest=$(tail -n 1 build/web-googletest.txt)

# Everything else is the CMake build: the engine's modules twice (one thread,
# and with threads for shared memory), every program as a page with both
# builds (cmake/vexa_web.cmake).
cmake --preset web "-DVEXA_CROSS_PREFIXES=$sdl;$sdl_threads;$loader;$loader_threads;$googletest" \
    >build/web-configure.log 2>&1 ||
    { tail -n 30 build/web-configure.log; die "configuring build/web failed"; }
cmake --build --preset web || die "building build/web failed"
out=$root/build/web
echo "build-web: $out/vexa.html ($(du -k "$out/vexa.wasm" | cut -f1) kB of WebAssembly," \
    "$(du -k "$out/vexa-threads.wasm" | cut -f1) kB with threads)"
