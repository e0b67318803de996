# The hostile corpus (tests/hostile/make_hostile_corpus.py: forged counts,
# cycles, deep chains, truncations, huge pictures in every accepted format,
# FIFOs, a device, a directory) through the real viewer: every file ends it
# with status 0 or 1, exactly one stderr line when refused (status 1) and at
# most one warning line when it loads, within the decoder's limits (here
# 1024 MB and 10 s) plus the viewer's own start-up, and no process of the
# run grows much past the memory limit. $1: vexa-view.
VIEW=$1
# This test counts the viewer's stderr lines. In the sanitizer build the leak
# check at the viewer's exit stops its threads with a tracer process, which
# on a loaded machine now and then crashes ("Tracer caught signal 11") and
# adds four lines of its own to a correct refusal. The leak check is off
# here; the other viewer tests take the same refusal paths with it on.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
python3 "$(dirname "$0")/../hostile/make_hostile_corpus.py" "$dir/corpus" || exit 1
# The decoder's address space is held to 1024 MB; under the address
# sanitizer, which cannot have that limit, the importer's 20 ms watch of its
# resident memory stops it, possibly a little past the mark.
limit_kb=$((1024 * 1024 * 5 / 4))
files=0 loaded=0 refused=0 failures=0
for model in "$dir"/corpus/*; do
    case $model in *.mtl | *.png | *.jpg | *.bmp | *.tga) continue ;; esac # parts of other models
    start=$(date +%s)
    /usr/bin/time -f '%M' -o "$dir/rss" timeout 40 "$VIEW" --frames 2 --decoder-memory 1024 \
        --decoder-seconds 10 "$model" > /dev/null 2> "$dir/err"
    status=$?
    seconds=$(($(date +%s) - start))
    rss=$(tail -n 1 "$dir/rss")
    lines=$(wc -l < "$dir/err")
    files=$((files + 1))
    verdict=""
    case $status in
    0) loaded=$((loaded + 1)); [ "$lines" -le 1 ] || verdict="$lines lines for a loaded file" ;;
    1) refused=$((refused + 1)); [ "$lines" -eq 1 ] || verdict="$lines lines for a refused file" ;;
    *) verdict="status $status" ;;
    esac
    [ "$seconds" -le 30 ] || verdict="$verdict; took $seconds s"
    [ "$rss" -le "$limit_kb" ] || verdict="$verdict; a process reached $rss KiB"
    if [ -n "$verdict" ]; then
        echo "$(basename "$model"): $verdict" >&2
        sed 's/^/    /' "$dir/err" >&2
        failures=$((failures + 1))
    fi
done
echo "$files hostile files: $loaded loaded, $refused refused, $failures broke a promise"
[ "$failures" -eq 0 ] && [ "$files" -ge 30 ]
