#!/bin/sh
# Builds the demonstration for web browsers into build/web/ (vexa.html, .js,
# .wasm, .data with the shader files) with Debian's Emscripten.
#
# SDL2 comes from Debian's source package, built once for Emscripten and kept
# outside the work tree (VEXA_CACHE, /var/cache/vexa by default) in a folder
# named after its version. The folder is built under a temporary name and
# renamed only when complete, so an interrupted build leaves nothing a later
# run would trust.
#   sh scripts/build-web.sh          SDL2 (if not cached), engine, demonstration
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
for p in emscripten cmake make dpkg-dev; do
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
sdl=$VEXA_CACHE/libsdl2-$version-emscripten
if [ ! -f "$sdl/lib/libSDL2.a" ]; then
    echo "build-web: building SDL2 $version for Emscripten into $sdl (about 10 minutes)"
    $SUDO mkdir -p "$VEXA_CACHE"
    work=$(mktemp -d "$VEXA_CACHE/.libsdl2-emscripten.XXXXXX")
    (
        cd "$work"
        apt-get source -qq "libsdl2=$version" >/dev/null 2>&1 || apt-get source "libsdl2=$version"
        src=$(find . -maxdepth 1 -type d -name 'libsdl2-*' | head -n 1)
        emcmake cmake -S "$src" -B build -DCMAKE_BUILD_TYPE=Release -DSDL_SHARED=OFF -DSDL_STATIC=ON \
            -DSDL_TEST=OFF -DCMAKE_INSTALL_PREFIX="$work/install" >build.log 2>&1 ||
            { tail -n 30 build.log; exit 1; }
        cmake --build build -j2 >>build.log 2>&1 || { tail -n 30 build.log; exit 1; }
        cmake --install build >>build.log 2>&1 || { tail -n 30 build.log; exit 1; }
    ) || { rm -rf "$work"; die "SDL2 build failed"; }
    rm -rf "$sdl"
    mv "$work/install" "$sdl"
    rm -rf "$work"
fi
[ "$1" = sdl2 ] && exit 0

# The engine and the demonstration (about a minute on two cores). A source is
# compiled again when it is newer than its object, and every source when a
# header or this script is. Highway-only and x86-only sources have portable
# stand-ins chosen by the compiler (__EMSCRIPTEN__); the x86 fractal kernels
# are left out as on every other processor.
out=$root/build/web
mkdir -p "$out/obj"
# The OpenGL 2.1 paths test entry-point pointers that WebGL links as functions.
flags="-std=c++20 -O2 -Wall -Wextra -Wno-pointer-bool-conversion -ffp-contract=off -fno-fast-math \
-I$root -I$sdl/include/SDL2"
sources=$(ls math/*.cpp gfx/*.cpp shader/*.cpp scene/*.cpp app/*.cpp demo/*.cpp |
    grep -v -e '_sse2\.cpp$' -e '_avx2\.cpp$' -e '_avx512\.cpp$')
stamp=$out/obj/.complete
if [ -f "$stamp" ] && [ -z "$(find math gfx shader scene app demo -name '*.h' -newer "$stamp")" ] &&
    [ ! scripts/build-web.sh -nt "$stamp" ]; then
    stale=""
    for f in $sources; do
        o=$out/obj/$(echo "${f%.cpp}" | tr / _).o
        [ "$f" -nt "$o" ] && stale="$stale $f"
    done
else
    stale=$sources
fi
rm -f "$stamp"
if [ -n "$(echo $stale)" ]; then
    echo "build-web: compiling $(echo $stale | wc -w) sources"
    # shellcheck disable=SC2086
    echo $stale | tr ' ' '\n' | xargs -P 2 -I{} sh -c \
        'o="$1/obj/$(echo "${2%.cpp}" | tr / _).o"; em++ $3 -c "$2" -o "$o"' _ "$out" {} "$flags" ||
        die "compiling failed"
fi
touch "$stamp"
objects=$(echo "$sources" | sed "s|/|_|g; s|\.cpp$|.o|; s|^|$out/obj/|")
# shellcheck disable=SC2086
em++ -O2 $objects "$sdl/lib/libSDL2.a" -o "$out/vexa.html" \
    --shell-file demo/web_shell.html --preload-file shaders@/shaders \
    -sMINIFY_HTML=0 -sALLOW_MEMORY_GROWTH=1 -sMIN_WEBGL_VERSION=1 -sMAX_WEBGL_VERSION=1 -sENVIRONMENT=web ||
    die "linking failed"
echo "build-web: $out/vexa.html ($(du -k "$out/vexa.wasm" | cut -f1) kB of WebAssembly)"
