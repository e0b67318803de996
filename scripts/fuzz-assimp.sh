#!/bin/sh
# Fuzzes model import in-process, Assimp and SDL2_image included, for as
# long as a developer likes; not part of the gate (scripts/fuzz.sh): faults
# inside those libraries are the reason the decoder runs in a process of its
# own, and finding one says nothing about a submission. Each crash it finds
# (saved as fuzz-artifacts/crash-*) becomes a case of
# tests/hostile/make_hostile_corpus.py, which the real viewer must survive
# with one line and status 1 (the input's first byte is the format hint:
# 0 glb, 1 gltf, 2 obj, 3 dae, 4 x, 5 iqm, 6 md5mesh, 7 smd, 8 ms3d, 9 off,
# modulo 10; the rest is the file).
# Usage: sh scripts/fuzz-assimp.sh [seconds, default 600]
set -e
seconds=${1:-600}
cd "$(dirname "$0")/.."
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp:print_suppressions=0}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzz_import -j 2
mkdir -p fuzz-artifacts
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# -close_fd_mask=2: the importer's refusals would flood the output. Fork
# mode with -ignore_ooms: Assimp allocating gigabytes from a forged count is
# common (the decoder's memory limit refuses it) and must not end the search.
./build/fuzz/fuzz/fuzz_import -max_total_time="$seconds" -fork=1 -ignore_ooms=1 \
    -timeout=10 -rss_limit_mb=2048 -close_fd_mask=2 -print_final_stats=1 \
    -artifact_prefix=fuzz-artifacts/ "$scratch" fuzz/corpus/import
