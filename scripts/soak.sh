#!/bin/sh
# Soak run: the real program (the snapshot tool: the program's start-up and
# loop, ended after N passes) runs N frames on a virtual display while its
# resident memory (VmRSS in /proc/PID/status) is sampled every 5 seconds.
# Fails when the program does not end with status 0 or when resident memory
# grows by more than 4 MiB between the end of the warm-up (20 s) and the end.
# Takes N / 60 seconds (10 000 frames: about 3 minutes).
# Usage: sh scripts/soak.sh [frames (10000)] [build directory (build/release)]
set -e
frames=${1:-10000}
build=${2:-build/release}
cd "$(dirname "$0")/.."
if [ "$build" = build/release ]; then
    cmake --preset release >/dev/null
    cmake --build --preset release --target vexa-snapshot
fi
[ -x "$build/vexa-snapshot" ] || { echo "soak: no $build/vexa-snapshot" >&2; exit 1; }
samples=$(mktemp)
trap 'rm -f "$samples"' EXIT

sh scripts/with-display.sh sh -c '
    "$1" --frames "$2" & pid=$!
    start=$(date +%s)
    while kill -0 $pid 2>/dev/null; do
        rss=$(awk "/^VmRSS:/ { print \$2 }" /proc/$pid/status 2>/dev/null)
        [ -n "$rss" ] && echo "$(( $(date +%s) - start )) $rss" >> "$3"
        sleep 5
    done
    wait $pid
' soak "$build/vexa-snapshot" "$frames" "$samples" || {
    echo "soak: the program ended with status $?" >&2
    exit 1
}

echo "seconds  VmRSS (KiB)"
awk '{ printf "%7d  %d\n", $1, $2 }' "$samples"
awk -v frames="$frames" '
    $1 >= 20 && !warm { warm = $2; warm_t = $1 }
    { last = $2; last_t = $1; if ($2 > peak) peak = $2 }
    END {
        if (!warm) { print "soak: run too short to pass the 20 s warm-up" > "/dev/stderr"; exit 1 }
        growth = last - warm
        printf "%d frames: %d KiB after warm-up (%d s), %d KiB at %d s, peak %d KiB, growth %+d KiB\n",
            frames, warm, warm_t, last, last_t, peak, growth
        if (growth > 4096) { print "soak: resident memory grew by more than 4 MiB" > "/dev/stderr"; exit 1 }
    }' "$samples"
