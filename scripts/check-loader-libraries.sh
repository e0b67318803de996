#!/bin/sh
# Proves the loader's cross-built libraries for one target: builds them if
# they are not cached (scripts/build-loader-libraries.sh), copies their
# folders elsewhere (a prefix must work wherever it is put), builds the check
# program in scripts/loader-libraries-check/ against the copies through
# their CMake packages, and runs it: under Wine for windows, under Node for
# web and web-pthread. Status 0 when the program's checks all hold.
#   sh scripts/check-loader-libraries.sh windows|web|web-pthread
set -e
cd "$(dirname "$0")/.."
root=$(pwd)
SCRIPT=check-loader-libraries
. scripts/cross-common.sh
target=${1:-}
case "$target" in
windows) install_packages wine wine64 ;;
web | web-pthread) ;;
*) die "usage: check-loader-libraries.sh windows|web|web-pthread" ;;
esac

prefixes=$(sh scripts/build-loader-libraries.sh "$target" | tail -n 1) || exit 1
work=$(mktemp -d /tmp/vexa-loader-check.XXXXXX)
trap 'rm -rf "$work"' EXIT INT TERM
moved=""
old_ifs=$IFS
IFS=';'
for dir in $prefixes; do
    cp -r "$dir" "$work/$(basename "$dir" | tr -c 'A-Za-z0-9.\n-' '_')"
    moved="${moved:+$moved;}$work/$(basename "$dir" | tr -c 'A-Za-z0-9.\n-' '_')"
done
IFS=$old_ifs
case "$target" in
windows) tag="mingw64-gcc$(x86_64-w64-mingw32-gcc-posix -dumpversion)" ;;
*) tag=emscripten${target#web} ;;
esac
sdl2=$VEXA_CACHE/libsdl2-$(source_version libsdl2)-$tag
check=scripts/loader-libraries-check

if [ "$target" = windows ]; then
    cmake -S $check -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" "-DVEXA_CROSS_PREFIXES=$moved;$sdl2" \
        >"$work/configure.log" 2>&1 || { cat "$work/configure.log"; die "configuring the check failed"; }
    nice -n 10 cmake --build "$work/build" >/dev/null || die "building the check failed"
    runtime=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")
    cp "$runtime/libstdc++-6.dll" "$runtime/libgcc_s_seh-1.dll" /usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll \
        /usr/x86_64-w64-mingw32/lib/zlib1.dll "$sdl2/bin/SDL2.dll" "$work/build/"
    WINEPREFIX="$VEXA_CACHE/wineprefix-$(wine --version | tr -c 'A-Za-z0-9.\n-' '_')"
    export WINEPREFIX
    [ -d "$WINEPREFIX" ] || die "no Wine prefix $WINEPREFIX (scripts/test-windows.sh makes it)"
    WINEDEBUG=-all timeout 300 wine "$work/build/loader-libraries-check.exe"
else
    export NODE_PATH=/usr/share/nodejs
    flags=""
    [ "$target" = web-pthread ] && flags=-pthread
    emcmake cmake -S $check -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        "-DCMAKE_FIND_ROOT_PATH=$moved;$sdl2" -DCMAKE_CXX_FLAGS="$flags" >"$work/configure.log" 2>&1 ||
        { cat "$work/configure.log"; die "configuring the check failed"; }
    nice -n 10 cmake --build "$work/build" >/dev/null || die "building the check failed"
    timeout 300 node "$work/build/loader-libraries-check.js"
fi
