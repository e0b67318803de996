# The model loader's third-party libraries for the cross builds (sourced
# after scripts/cross-common.sh, not run): Assimp and SDL2_image from
# Debian's source packages, for MinGW-w64 and for Emscripten (one thread and
# threads), each built once into the cache by cached_build.
#
# Assimp gets only the importers the loader is tested with, no exporters and
# no tools, which keeps its build to a few minutes. Debian's repacked source
# drops the bundled zlib, minizip, utf8cpp and stb_image and expects the
# system's copies; a cross build cannot use the host's, so:
#   zlib       MinGW: Debian's libz-mingw-w64-dev; Emscripten: Debian's zlib
#              source package, built into the cache beside Assimp;
#   minizip    its two C files come from that same zlib source package
#              (contrib/minizip) and go back where Assimp compiles them;
#   utf8cpp, stb_image  header-only, from the host's libutfcpp-dev and
#              libstb-dev (plain headers, the same on every target).
# SDL2_image decodes PNG, JPEG, BMP and TGA with its own stb_image copy, so
# it needs no libpng or libjpeg.
#
# Callers set SCRIPT (for die) and JOBS; loader_libraries_windows and
# loader_libraries_web print the ;-list of the prefixes they made.

LOADER_IMPORTERS="GLTF FBX COLLADA OBJ X PLY STL 3DS MD5 SMD OFF MS3D IQM"

# loader_packages TARGET: the host packages the recipes need.
loader_packages() {
    case "$1" in
    windows) echo "g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix libz-mingw-w64-dev" ;;
    web) echo "emscripten nodejs" ;;
    esac
    echo "dpkg-dev cmake ninja-build libutfcpp-dev libstb-dev"
}

# assimp_options: the CMake options every Assimp build shares.
assimp_options() {
    echo "-DBUILD_SHARED_LIBS=OFF -DASSIMP_BUILD_ALL_IMPORTERS_BY_DEFAULT=OFF -DASSIMP_NO_EXPORT=ON"
    echo "-DASSIMP_BUILD_ALL_EXPORTERS_BY_DEFAULT=OFF -DASSIMP_BUILD_ASSIMP_TOOLS=OFF"
    echo "-DASSIMP_BUILD_TESTS=OFF -DASSIMP_BUILD_SAMPLES=OFF -DASSIMP_BUILD_DOCS=OFF"
    echo "-DASSIMP_WARNINGS_AS_ERRORS=OFF -DASSIMP_BUILD_ZLIB=OFF -DASSIMP_BUILD_DRACO=OFF"
    echo "-DASSIMP_IGNORE_GIT_HASH=ON -DASSIMP_INSTALL_PDB=OFF -DCMAKE_DISABLE_FIND_PACKAGE_PkgConfig=ON"
    for importer in $LOADER_IMPORTERS; do
        echo "-DASSIMP_BUILD_${importer}_IMPORTER=ON"
    done
}

# prepare_assimp_source SOURCE: puts back what the repack removed and
# undoes the Debian changes that only make sense on the host.
prepare_assimp_source() {
    src=$1
    # Debian links the system's draco; the loader's glTF files are not
    # draco-compressed, and a cross build has no draco to find.
    patch -R -p1 -d "$src" <"$src/debian/patches/use-system-libdraco.patch" || return 1
    # A static MinGW Assimp would push -static-libstdc++ and -Wl,-Bstatic
    # on every program linking it; the programs choose their runtime.
    sed -i '/TARGET_LINK_LIBRARIES ( assimp -static-libgcc/d' "$src/code/CMakeLists.txt"
    # minizip's unzip from zlib's source package, where Assimp compiles it.
    zlib_version=$(source_version zlib)
    (cd "$src/.." && $APT source -qq "zlib=$zlib_version") || return 1
    minizip=$(find "$src/.." -maxdepth 3 -type d -path '*/zlib-*/contrib/minizip' | head -n 1)
    [ -n "$minizip" ] || return 1
    mkdir -p "$src/contrib/unzip"
    cp "$minizip"/crypt.h "$minizip"/ioapi.c "$minizip"/ioapi.h "$minizip"/unzip.c "$minizip"/unzip.h \
        "$src/contrib/unzip/"
    sed -i '/\.\.\/contrib\/unzip\/crypt\.c/d' "$src/code/CMakeLists.txt"
    # The header-only pieces, from the host's packages.
    mkdir -p "$src/contrib/stb" "$src/contrib/utf8cpp"
    cp /usr/include/stb/stb_image.h "$src/contrib/stb/" || return 1
    cp -r /usr/include/utf8cpp/. "$src/contrib/utf8cpp/" || return 1
}

# fix_assimp_config PREFIX [OPTION]: the installed package names zlib by
# the path it was found at; it is found again where the prefix is used
# instead, so the prefix can be moved and the library folders listed in any
# order. OPTION, when given, is added to the compile and link options of
# every program using Assimp.
fix_assimp_config() {
    config=$(find "$1/lib" -name 'assimpTargets.cmake' | head -n 1)
    [ -n "$config" ] || return 1
    # Assimp links only zlib: its release and debug paths become the target.
    sed -i 's#^\(  INTERFACE_LINK_LIBRARIES \).*/libz\(\.dll\)\?\.a.*$#\1"ZLIB::ZLIB"#' "$config"
    if [ -n "${2:-}" ]; then
        sed -i "/^  INTERFACE_LINK_LIBRARIES \"ZLIB::ZLIB\"/a\\  INTERFACE_COMPILE_OPTIONS \"$2\"\n  INTERFACE_LINK_OPTIONS \"$2\"" \
            "$config"
        grep -q "INTERFACE_LINK_OPTIONS \"$2\"" "$config" || return 1
    fi
    ! grep -q 'libz' "$config" || return 1
    template=$(dirname "$config")/assimpConfig.cmake
    sed -i '1a include(CMakeFindDependencyMacro)\nfind_dependency(ZLIB)' "$template"
}

# fix_sdl2_image_config PREFIX SDL2_TARGET: the installed package asks for
# libpng and libjpeg although the stb_image backend uses neither, and names
# the static SDL2 target even where SDL2 is a DLL (MinGW).
fix_sdl2_image_config() {
    dir=$1/lib/cmake/SDL2_image
    sed -i 's/^if(SDL2IMAGE_\(JPG\|PNG\) AND NOT SDL2IMAGE_VENDORED/if(SDL2IMAGE_\1 AND NOT SDL2IMAGE_BACKEND_STB AND NOT SDL2IMAGE_VENDORED/' \
        "$dir/SDL2_imageConfig.cmake"
    sed -i "s/SDL2::SDL2-static/$2/g" "$dir/SDL2_image-static-targets.cmake"
    grep -q 'BACKEND_STB AND' "$dir/SDL2_imageConfig.cmake"
}

# relocatable PREFIX: pkg-config files name the folder they were installed
# to, which is a temporary one; they name their own folder instead. Fails
# when any other file still names it.
relocatable() {
    for pc in "$1"/lib/pkgconfig/*.pc; do
        [ -f "$pc" ] && sed -i "s#$1#\${pcfiledir}/../..#g" "$pc"
    done
    ! grep -rqsF "$1" "$1/lib" "$1/include" "$1/cmake"
}

# timed_build NAME TOOLCHAIN BUILD_FUNCTION: cached_build of the Debian
# source package NAME, saying on stderr how long a build took when there was
# one.
timed_build() {
    started=$(date +%s)
    version=$(source_version "$1")
    [ -n "$version" ] || die "no Debian source package $1 (apt-get source $1)"
    fresh=1
    [ -d "$VEXA_CACHE/$1-$version-$2" ] && fresh=0
    cached_build "$1" "$version" "$2" "$3" || exit 1
    [ $fresh = 1 ] && echo "$1 for $2 built in $(($(date +%s) - started)) s" >&2
    return 0
}

# --- MinGW-w64 -------------------------------------------------------------

mingw_cmake() {
    src=$1
    prefix=$2
    shift 2
    cmake -S "$src" -B "$src/vexa-build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$MINGW_TOOLCHAIN" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" "-DVEXA_CROSS_PREFIXES=$MINGW_PREFIXES" \
        "$@" &&
        nice -n 10 cmake --build "$src/vexa-build" -j "$JOBS" &&
        cmake --install "$src/vexa-build"
}

build_assimp_mingw() {
    prepare_assimp_source "$1" || return 1
    # shellcheck disable=SC2046
    mingw_cmake "$1" "$2" $(assimp_options) -DCMAKE_CXX_FLAGS="-I$1/contrib/utf8cpp" &&
        fix_assimp_config "$2" && relocatable "$2"
}

build_sdl2_image_mingw() {
    # shellcheck disable=SC2046
    mingw_cmake "$1" "$2" $(sdl2_image_options) && fix_sdl2_image_config "$2" SDL2::SDL2 &&
        relocatable "$2"
}

# sdl2_image_options: static, stb_image for PNG and JPEG, the loaders it
# has no decoder for left out.
sdl2_image_options() {
    echo "-DBUILD_SHARED_LIBS=OFF -DSDL2IMAGE_BACKEND_STB=ON -DSDL2IMAGE_VENDORED=OFF"
    echo "-DSDL2IMAGE_PNG=ON -DSDL2IMAGE_JPG=ON -DSDL2IMAGE_BMP=ON -DSDL2IMAGE_TGA=ON"
    echo "-DSDL2IMAGE_AVIF=OFF -DSDL2IMAGE_JXL=OFF -DSDL2IMAGE_TIF=OFF -DSDL2IMAGE_WEBP=OFF"
    echo "-DSDL2IMAGE_SAMPLES=OFF -DSDL2IMAGE_TESTS=OFF -DSDL2IMAGE_DEPS_SHARED=OFF"
    echo "-DSDL2IMAGE_BACKEND_WIC=OFF -DSDL2IMAGE_BACKEND_IMAGEIO=OFF"
}

# loader_libraries_windows: Assimp and SDL2_image for MinGW-w64, against
# the cached SDL2 of scripts/build-windows.sh.
loader_libraries_windows() {
    MINGW_TOOLCHAIN=$(pwd)/cmake/toolchain-mingw64.cmake
    tag="mingw64-gcc$(x86_64-w64-mingw32-gcc-posix -dumpversion)"
    sdl2=$VEXA_CACHE/libsdl2-$(source_version libsdl2)-$tag
    [ -d "$sdl2" ] || die "no SDL2 for MinGW in $sdl2 (scripts/build-windows.sh --libraries builds it)"
    MINGW_PREFIXES=$sdl2
    assimp=$(timed_build assimp "$tag" build_assimp_mingw) || exit 1
    image=$(timed_build libsdl2-image "$tag" build_sdl2_image_mingw) || exit 1
    echo "$assimp;$image"
}

# --- Emscripten ------------------------------------------------------------
# WEB_FLAGS is empty for the one-thread variant and -pthread for the other:
# WebAssembly with threads links only objects built for shared memory.

# build_zlib_web: zlib's C files into one static library, as Emscripten's
# own zlib port would need a download.
build_zlib_web() {
    mkdir -p "$2/lib" "$2/include" "$1/vexa-build"
    # What zlib's configure would write into zconf.h for this C library.
    sed -i 's|^#ifdef HAVE_UNISTD_H.*|#if 1|; s|^#ifdef HAVE_STDARG_H.*|#if 1|' "$1/zconf.h"
    # shellcheck disable=SC2086
    for c in adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast inflate \
        inftrees trees uncompr zutil; do
        echo "$c"
    done | nice -n 10 xargs -P "$JOBS" -I{} emcc -O2 $WEB_FLAGS -c "$1/{}.c" -o "$1/vexa-build/{}.o" ||
        return 1
    emar rcs "$2/lib/libz.a" "$1"/vexa-build/*.o &&
        cp "$1/zlib.h" "$1/zconf.h" "$2/include/"
}

web_cmake() {
    src=$1
    prefix=$2
    shift 2
    emcmake cmake -S "$src" -B "$src/vexa-build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$prefix" "-DCMAKE_FIND_ROOT_PATH=$WEB_PREFIXES" \
        -DCMAKE_C_FLAGS="$WEB_FLAGS" -DCMAKE_CXX_FLAGS="$WEB_FLAGS $WEB_CXX_FLAGS" "$@" &&
        nice -n 10 cmake --build "$src/vexa-build" -j "$JOBS" &&
        cmake --install "$src/vexa-build"
}

build_assimp_web() {
    prepare_assimp_source "$1" || return 1
    # Emscripten's C library has no fopen64: minizip uses fopen and fseeko,
    # 64-bit offsets there anyway.
    # Assimp reports a file it cannot read by throwing; Emscripten turns
    # throw into abort unless exceptions are caught (-fexceptions), and so
    # must every program that links it.
    WEB_CXX_FLAGS="-fexceptions -I$1/contrib/utf8cpp"
    # shellcheck disable=SC2046
    WEB_FLAGS="$WEB_FLAGS -DIOAPI_NO_64" web_cmake "$1" "$2" $(assimp_options) &&
        fix_assimp_config "$2" -fexceptions && relocatable "$2"
}

build_sdl2_image_web() {
    # shellcheck disable=SC2046
    web_cmake "$1" "$2" $(sdl2_image_options) && fix_sdl2_image_config "$2" SDL2::SDL2-static &&
        relocatable "$2"
}

# loader_libraries_web VARIANT: emscripten (one thread) or
# emscripten-pthread, against the cached SDL2 of scripts/build-web.sh.
loader_libraries_web() {
    tag=$1
    WEB_FLAGS=""
    [ "$tag" = emscripten-pthread ] && WEB_FLAGS=-pthread
    WEB_CXX_FLAGS=""
    export NODE_PATH=/usr/share/nodejs
    sdl2=$VEXA_CACHE/libsdl2-$(source_version libsdl2)-$tag
    [ -d "$sdl2" ] || die "no SDL2 for Emscripten in $sdl2 (scripts/build-web.sh sdl2 builds it)"
    zlib=$(timed_build zlib "$tag" build_zlib_web) || exit 1
    WEB_PREFIXES="$zlib;$sdl2"
    assimp=$(timed_build assimp "$tag" build_assimp_web) || exit 1
    image=$(timed_build libsdl2-image "$tag" build_sdl2_image_web) || exit 1
    echo "$zlib;$assimp;$image"
}

# --- GoogleTest for Emscripten ---------------------------------------------
# The unit tests' framework, for vexa_unit_tests run under Node. Built for
# shared memory (-pthread) only: the tests drive the worker pool on real
# threads, and WebAssembly with threads links only objects built for it.

build_googletest_web() {
    web_cmake "$1" "$2" -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON -Dgtest_disable_pthreads=OFF &&
        relocatable "$2"
}

# googletest_web: prints the cache folder of GoogleTest for Emscripten with
# threads, building it first when it is not there.
googletest_web() {
    WEB_FLAGS=-pthread
    WEB_CXX_FLAGS=""
    WEB_PREFIXES=""
    export NODE_PATH=/usr/share/nodejs
    timed_build googletest emscripten-pthread build_googletest_web
}
