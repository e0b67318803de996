# A decoder that never answers (a stand-in that takes the request, then
# sleeps; it writes its pid once the import is waiting) holds the import up:
# SIGTERM, or Ctrl+C's SIGINT to the viewer's process group, then ends the
# viewer within a second with status 0 and no line, and the decoder process
# goes with it; with a 1 s limit the import is refused in
# one line ("took longer than 1 s") and status 1. $1: vexa-view.
VIEW=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
# Started as a server its standard input is the request socket, and one
# byte read waits for the request; started for one file it is the model.
printf '#!/bin/sh\ndd bs=1 count=1 of=/dev/null 2>/dev/null\necho $$ > "%s/decoder.pid"\nexec sleep 60\n' \
    "$dir" > "$dir/slow-decoder"
chmod +x "$dir/slow-decoder"
model=/usr/share/assimp/models/glTF2/BoxTextured-glTF/BoxTextured.gltf

# SIGTERM to the viewer, then SIGINT to its whole process group, as Ctrl+C
# in a terminal sends it (the decoder has a group of its own, so the viewer
# alone decides how the import ends).
for signal in TERM INT; do
    rm -f "$dir/decoder.pid"
    VEXA_DECODER="$dir/slow-decoder" setsid "$VIEW" --frames 2 "$model" > /dev/null 2> "$dir/err" &
    pid=$!
    target=$pid
    [ $signal = INT ] && target=-$pid
    i=0
    while [ ! -s "$dir/decoder.pid" ] && [ $i -lt 200 ]; do sleep 0.1; i=$((i + 1)); done
    [ -s "$dir/decoder.pid" ] || { echo "the decoder never started" >&2; kill -9 $pid; exit 1; }
    # Ctrl+C reaches the terminal's foreground group: the decoder is not in it.
    [ "$(ps -o pgid= -p "$(cat "$dir/decoder.pid")")" -ne $pid ] ||
        { echo "the decoder is in the viewer's process group" >&2; kill -9 $pid; exit 1; }
    kill -s $signal -- $target
    i=0
    while kill -0 $pid 2>/dev/null && [ $i -lt 10 ]; do sleep 0.1; i=$((i + 1)); done
    if kill -0 $pid 2>/dev/null; then
        echo "still running 1 s after SIG$signal" >&2
        kill -9 $pid
        exit 1
    fi
    wait $pid
    status=$?
    [ $status -eq 0 ] || { echo "status $status after SIG$signal, expected 0" >&2; cat "$dir/err" >&2; exit 1; }
    [ ! -s "$dir/err" ] || { echo "unexpected lines after SIG$signal:" >&2; cat "$dir/err" >&2; exit 1; }
    if kill -0 "$(cat "$dir/decoder.pid")" 2>/dev/null; then
        echo "the decoder outlived the viewer" >&2
        exit 1
    fi
done

VEXA_DECODER="$dir/slow-decoder" timeout 20 "$VIEW" --frames 2 --decoder-seconds 1 "$model" \
    > /dev/null 2> "$dir/err"
status=$?
[ $status -eq 1 ] || { echo "status $status with a 1 s limit, expected 1" >&2; exit 1; }
[ "$(wc -l < "$dir/err")" -eq 1 ] && grep -q 'BoxTextured.gltf: the decoder took longer than 1 s$' "$dir/err" ||
    { echo "expected one line about the time limit:" >&2; cat "$dir/err" >&2; exit 1; }
echo "SIGTERM or Ctrl+C end a waiting import within a second; a slow decoder is stopped at its limit"
