#!/bin/sh
# Builds the model loader's libraries (Assimp, SDL2_image, and zlib for the
# browser) from Debian's source packages for a cross target, once, into the
# cache (scripts/cross-libraries.sh), and prints their folders as a ;-list
# on its last line, for VEXA_CROSS_PREFIXES or CMAKE_FIND_ROOT_PATH.
#   sh scripts/build-loader-libraries.sh windows       MinGW-w64
#   sh scripts/build-loader-libraries.sh web           Emscripten, one thread
#   sh scripts/build-loader-libraries.sh web-pthread   Emscripten, threads
# The SDL2 of that target must be in the cache already (build-windows.sh,
# build-web.sh); its folder is not in the list.
set -e
cd "$(dirname "$0")/.."
SCRIPT=build-loader-libraries
. scripts/cross-common.sh
. scripts/cross-libraries.sh
JOBS=${VEXA_JOBS:-2}

case "${1:-}" in
windows)
    # shellcheck disable=SC2046
    install_packages $(loader_packages windows)
    require_tool x86_64-w64-mingw32-g++-posix g++-mingw-w64-x86-64-posix
    [ -f /usr/x86_64-w64-mingw32/include/zlib.h ] || die "missing zlib for MinGW (package libz-mingw-w64-dev)"
    ;;
web | web-pthread)
    # shellcheck disable=SC2046
    install_packages $(loader_packages web)
    require_tool emcmake emscripten
    ;;
*) die "usage: build-loader-libraries.sh windows|web|web-pthread" ;;
esac
require_tool cmake cmake
require_tool ninja ninja-build
require_tool dpkg-source dpkg-dev
[ -f /usr/include/utf8cpp/utf8.h ] || die "missing utf8cpp (package libutfcpp-dev)"
[ -f /usr/include/stb/stb_image.h ] || die "missing stb_image (package libstb-dev)"
enable_source_packages

case "$1" in
windows) loader_libraries_windows ;;
web) loader_libraries_web emscripten ;;
web-pthread) loader_libraries_web emscripten-pthread ;;
esac
