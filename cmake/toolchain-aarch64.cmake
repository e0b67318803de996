# Cross build for 64-bit ARM Linux with Debian's cross compiler, against the
# arm64 development packages installed beside the host's own (multiarch:
# headers in /usr/include, libraries in /usr/lib/aarch64-linux-gnu).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
# The programs built here run under qemu-aarch64, which finds the arm64
# loader and libraries where multiarch installed them.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64)
