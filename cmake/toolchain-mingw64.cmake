# Cross build for 64-bit Windows with Debian's MinGW-w64 (posix threads, so
# std::thread works). The libraries built for it (scripts/build-windows.sh)
# sit in prefixes named by VEXA_CROSS_PREFIXES, a ;-list searched like the
# MinGW system folder; nothing is taken from the host's own folders.
#
# The engine's package installs this file as <prefix>/share/vexa/toolchain.cmake,
# with those libraries copied into the prefix: there the prefix two folders
# up, wherever the package was moved, is the one searched.
if(NOT VEXA_CROSS_PREFIXES AND EXISTS ${CMAKE_CURRENT_LIST_DIR}/../../lib/cmake/vexa/vexaConfig.cmake)
    get_filename_component(VEXA_CROSS_PREFIXES ${CMAKE_CURRENT_LIST_DIR}/../.. ABSOLUTE)
endif()
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VEXA_CROSS_PREFIXES)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${VEXA_CROSS_PREFIXES})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
