#!/bin/sh
# Runs the 64-bit ARM build (scripts/build-aarch64.sh, built first) under
# qemu-aarch64 on a virtual display with arm64 Mesa: the unit tests, the
# fractal check over a few frames, and vexa-snapshot --picture, whose
# pictures must equal the Linux x86-64 build's byte for byte
# (scripts/compare-pictures.sh). The ARM64 package, installed and moved,
# builds the examples cube, lights and shapes as a user's project; their
# pictures are compared with the Linux build's (scripts/compare-examples.sh:
# shapes at frame 30, the slower 3D ones at frame 4). With --timings it also prints the frame
# rate reached under qemu (slow: for the record only).
set -e
cd "$(dirname "$0")/.."
SCRIPT=test-aarch64
. scripts/cross-common.sh
if [ -z "$VEXA_ON_DISPLAY" ]; then
    sh scripts/build-aarch64.sh
    install_packages xvfb xauth netpbm
    export VEXA_ON_DISPLAY=1
    exec sh scripts/with-display.sh sh "$0" "$@"
fi
out=$(pwd)/build/aarch64
export LIBGL_ALWAYS_SOFTWARE=1
# qemu-user places the program's memory from 0x5500000000 up, but an mmap
# whose wished-for address is taken gets the host's choice instead, about
# 127 TB higher (0x7f...). LLVM's JIT in llvmpipe asks for each new block of
# shader code or data right after the previous block of its kind, often a
# place its other kind has just taken; a shader whose data lands that far
# reaches it with an adrp, which holds only +-4 GB, and the lit shaders of
# cube and lights read a wrong address (SIGSEGV). A guest address space of 4 GB that
# qemu reserves and allocates from itself keeps every mapping in reach
# (docs/platforms.md). A real arm64 kernel places such a mapping near the
# others; the engine needs nothing.
export QEMU_RESERVED_VA=0x100000000

# Left out under qemu-user, with its reason; it runs in the native suite.
skipped="platform.priority_raise_reaches_threads_that_already_exist"
echo "aarch64: skipped under qemu-user: $skipped (it forks a process that has threads and" \
    "starts one more in the child; qemu-user's emulated CPUs do not survive that and the child" \
    "aborts inside qemu)"
echo "aarch64: unit tests"
timeout -k 5 1800 qemu-aarch64 "$out/vexa_unit_tests" --gtest_brief=1 --gtest_filter="-$skipped" \
    >"$out/unit.log" 2>&1 || { tail -n 40 "$out/unit.log"; die "unit tests failed under qemu-aarch64"; }
tail -n 2 "$out/unit.log"

echo "aarch64: fractal check, 4 frames (1 to 1350, every 449th)"
timeout -k 5 1800 qemu-aarch64 "$out/vexa-fractal-check" --first 1 --last 1350 --every 449 \
    >"$out/fractal.log" 2>&1 || { tail -n 20 "$out/fractal.log"; die "fractal check failed under qemu-aarch64"; }
tail -n 1 "$out/fractal.log"

echo "aarch64: the picture of a few frames against the Linux x86-64 build"
sh scripts/compare-pictures.sh aarch64 "$out" qemu-aarch64 "$out/vexa-snapshot"

# The package as a user has it: installed, moved, and the examples cube,
# lights and shapes built out of the tree on it with its toolchain file.
echo "aarch64: the examples built on the installed package, against the Linux pictures"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT INT TERM
sh scripts/build-examples-on-package.sh aarch64 "$scratch"
mkdir "$scratch/app-copy"
cp -r "$scratch/app-build"/vexa-* "$scratch/app-build/shaders" "$scratch/app-copy/"
for program in "$scratch/app-copy"/vexa-*; do
    [ "$(grep -c "$scratch" "$program")" = 0 ] || die "$program holds a path of the machine that built it"
done
VEXA_COMPARED_EXAMPLES=shapes sh scripts/compare-examples.sh aarch64 "$scratch/app-copy" "" qemu-aarch64
# Every emulated lights frame costs seconds (two lit passes, 26 models):
# the 3D examples are compared at frame 4, which draws everything frame 30
# does, turned less.
VEXA_COMPARED_EXAMPLES="cube lights" VEXA_EXAMPLE_FRAMES=4 \
    sh scripts/compare-examples.sh aarch64 "$scratch/app-copy" "" qemu-aarch64

if [ "${1:-}" = "--timings" ]; then
    timeout -k 5 1800 qemu-aarch64 "$out/vexa-snapshot" --frames 120 --timings
fi
echo "aarch64: all checks passed"
