#!/bin/sh
# Builds the demonstration for web browsers into build/web/ (vexa.html, .js,
# .wasm, .data with the shader files; vexa-threads.* for cross-origin isolated
# pages; vexa-fractal-check.js for Node) with Debian's Emscripten.
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

# The engine and the demonstration, twice: vexa.js on one thread for any
# page, vexa-threads.js with the fractal's worker pool on browser threads for
# cross-origin isolated pages (threads need SharedArrayBuffer); vexa.html
# loads the one the page can run. A source is compiled again when it is newer
# than its object, and every source when a header or this script is.
# Highway-only and x86-only sources have portable stand-ins chosen by the
# compiler (__EMSCRIPTEN__). The fractal's SSE2 kernel is built for
# WebAssembly SIMD through the compiler's SSE2 headers (same bytes as the
# reference); the AVX kernels are left out as on every other processor.
out=$root/build/web
# The most threads the picture uses in a page: the page starts
# min(cores, BROWSER_THREADS) - 1 workers before the program runs, and the
# worker pool (scene/worker_pool.cpp) takes no more, since a browser thread
# asked for later would start only after the frame that waits for it.
BROWSER_THREADS=8
# The OpenGL 2.1 paths test entry-point pointers that WebGL links as functions.
flags="-std=c++20 -O2 -Wall -Wextra -Wno-pointer-bool-conversion -ffp-contract=off -fno-fast-math \
-msimd128"

# Each folder compiles against an include root of its own holding links to
# its folder and to those of the layers below it, as in the CMake build
# (cmake/vexa_module.cmake): an include of a higher layer's header is an
# error here too. Lowest layer first; the demonstration and the fractal
# check sit on top.
layers="math gfx shader scene app demo"
below=""
for layer in $layers tools; do
    [ "$layer" = tools ] || below="$layer $below"
    mkdir -p "$out/layers/$layer"
    for folder in $below; do
        ln -sfn "$root/$folder" "$out/layers/$layer/$folder"
    done
done
sources=$(ls math/*.cpp gfx/*.cpp shader/*.cpp scene/*.cpp app/*.cpp demo/*.cpp |
    grep -v -e '_avx2\.cpp$' -e '_avx512\.cpp$')

# compile FOLDER FLAGS: the stale objects of $sources into FOLDER.
compile() {
    objects_dir=$1
    mkdir -p "$objects_dir"
    stamp=$objects_dir/.complete
    if [ -f "$stamp" ] && [ -z "$(find math gfx shader scene app demo -name '*.h' -newer "$stamp")" ] &&
        [ ! scripts/build-web.sh -nt "$stamp" ]; then
        stale=""
        for f in $sources; do
            o=$objects_dir/$(echo "${f%.cpp}" | tr / _).o
            [ "$f" -nt "$o" ] && stale="$stale $f"
        done
    else
        stale=$sources
    fi
    rm -f "$stamp"
    if [ -n "$(echo $stale)" ]; then
        echo "build-web: compiling $(echo $stale | wc -w) sources into $objects_dir"
        # shellcheck disable=SC2086
        echo $stale | tr ' ' '\n' | xargs -P 2 -I{} sh -c '
            o="$1/$(echo "${2%.cpp}" | tr / _).o"
            case "$2" in *_sse2.cpp) isa=-msse2 ;; *) isa="" ;; esac
            em++ $3 $isa -I"$4/layers/${2%%/*}" -c "$2" -o "$o"' _ "$objects_dir" {} "$2" "$out" ||
            die "compiling failed"
    fi
    touch "$stamp"
    objects=$(echo "$sources" | sed "s|/|_|g; s|\.cpp$|.o|; s|^|$objects_dir/|")
}

link_flags="--preload-file shaders@/shaders -sALLOW_MEMORY_GROWTH=1 -sMIN_WEBGL_VERSION=1 \
-sMAX_WEBGL_VERSION=1 -sENVIRONMENT=web"
compile "$out/obj" "$flags -I$sdl/include/SDL2"
# shellcheck disable=SC2086
em++ -O2 $objects "$sdl/lib/libSDL2.a" -o "$out/vexa.js" $link_flags || die "linking failed"
single_objects=$objects

compile "$out/obj-threads" "$flags -pthread -DVEXA_BROWSER_THREADS=$BROWSER_THREADS \
-I$sdl_threads/include/SDL2"
# Growing shared memory makes the JavaScript side check its views of it on
# every access; what the page does through them per frame is small.
# shellcheck disable=SC2086
em++ -O2 -pthread $objects "$sdl_threads/lib/libSDL2.a" -o "$out/vexa-threads.js" $link_flags \
    -sENVIRONMENT=web,worker -Wno-pthreads-mem-growth \
    "-sPTHREAD_POOL_SIZE=Math.max(1,Math.min(navigator.hardwareConcurrency||1,$BROWSER_THREADS))-1" ||
    die "linking the threaded build failed"
cp demo/web_shell.html "$out/vexa.html"

# The fractal check in WebAssembly, for Node: the browser's kernel against the
# scalar reference, byte for byte, without a browser.
check=$out/obj/tools_fractal_check.o
if [ ! -f "$check" ] || [ tools/fractal_check.cpp -nt "$check" ] || [ demo/fractal.h -nt "$check" ]; then
    # shellcheck disable=SC2086
    em++ $flags -I"$out/layers/tools" -c tools/fractal_check.cpp -o "$check" ||
        die "compiling the fractal check failed"
fi
# shellcheck disable=SC2086
em++ -O2 "$check" $(echo "$single_objects" | grep -e demo_fractal -e scene_worker_pool) \
    -o "$out/vexa-fractal-check.js" -sENVIRONMENT=node -sWASM_ASYNC_COMPILATION=0 \
    -sALLOW_MEMORY_GROWTH=1 || die "linking the fractal check failed"
echo "build-web: $out/vexa.html ($(du -k "$out/vexa.wasm" | cut -f1) kB of WebAssembly," \
    "$(du -k "$out/vexa-threads.wasm" | cut -f1) kB with threads)"
