# Web browsers with Debian's Emscripten (package emscripten): its own CMake
# platform file, plus the prefixes that hold libraries built for Emscripten,
# VEXA_CROSS_PREFIXES (a ;-list, SDL2 from scripts/build-web.sh), searched
# like Emscripten's system folder. Installed with the web package as
# share/vexa/toolchain.cmake, where it adds the package's own prefix, so that
# a project finds the package with this file alone.
set(VEXA_EMSCRIPTEN_PLATFORM /usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)
if(NOT EXISTS ${VEXA_EMSCRIPTEN_PLATFORM})
    message(FATAL_ERROR "no ${VEXA_EMSCRIPTEN_PLATFORM} (Debian: emscripten)")
endif()
include(${VEXA_EMSCRIPTEN_PLATFORM})
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VEXA_CROSS_PREFIXES)
list(APPEND CMAKE_FIND_ROOT_PATH ${VEXA_CROSS_PREFIXES})
get_filename_component(VEXA_TOOLCHAIN_PREFIX ${CMAKE_CURRENT_LIST_DIR}/../.. ABSOLUTE)
if(EXISTS ${VEXA_TOOLCHAIN_PREFIX}/share/vexa/toolchain.cmake)
    list(APPEND CMAKE_FIND_ROOT_PATH ${VEXA_TOOLCHAIN_PREFIX})
endif()
