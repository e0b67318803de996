#!/bin/sh
# Compiles every source of the engine modules, the demonstration, the tools
# and the examples for 64-bit ARM with Debian's cross compiler (compile only,
# nothing is linked), to show the engine builds beyond x86-64. Every top-level
# folder holding .cpp files takes part, so a new module is checked as soon as
# it exists; only the test, benchmark and fuzzing folders are left out.
# Sources named *_sse2.cpp, *_avx2.cpp or *_avx512.cpp are x86-64 only and
# skipped, as the build skips them (demo/CMakeLists.txt).
# Headers of libraries (SDL2, GLEW, GL, ...) come from the host, after the
# cross compiler's own C library; SDL's configuration header is looked up in
# the host's x86-64 folder (with its x86 intrinsics header turned off),
# which is close enough for a compile-only check.
set -e
cd "$(dirname "$0")/.."
cxx=${CXX_AARCH64:-aarch64-linux-gnu-g++}
command -v "$cxx" >/dev/null || { echo "check-aarch64: no $cxx (g++-aarch64-linux-gnu)" >&2; exit 1; }

sources=""
for dir in */; do
    dir=${dir%/}
    case "$dir" in
    tests | bench | fuzz | build | build-*) continue ;;
    esac
    for file in "$dir"/*.cpp; do
        [ -e "$file" ] || continue
        case "$file" in
        # x86-64 kernels, and the halves of other systems (Windows, the browser)
        *_sse2.cpp | *_avx2.cpp | *_avx512.cpp | *_windows.cpp | *_web.cpp) continue ;;
        esac
        sources="$sources $file"
    done
done
[ -n "$sources" ] || { echo "check-aarch64: no sources found" >&2; exit 1; }

count=0
for file in $sources; do count=$((count + 1)); done
# shellcheck disable=SC2086
printf '%s\n' $sources | xargs -P 2 -I{} "$cxx" -std=c++20 -Wall -Wextra -Werror \
    -ffp-contract=off -fno-fast-math -I. -DVEXA_SHADER_DIR='"shaders"' -DSDL_DISABLE_IMMINTRIN_H \
    -idirafter /usr/include/SDL2 -idirafter /usr/include/imgui -idirafter /usr/include/freetype2 \
    -idirafter /usr/include \
    -idirafter /usr/include/x86_64-linux-gnu -c {} -o /dev/null
echo "aarch64: $count sources compile with $cxx"
