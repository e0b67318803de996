#!/bin/sh
# The demonstration in a browser: builds it (scripts/build-web.sh), checks the
# WebAssembly fractal against its scalar reference under Node, serves
# build/web on 127.0.0.1, opens vexa.html?frames=N in headless Chromium
# (software WebGL through SwiftShader), takes a screenshot of the page and
# compares it with the desktop build's window at frame N (vexa-snapshot
# --frames N --window on the virtual display). It does so twice: served with
# the cross-origin isolation headers (the threaded build) and without (the
# one-thread build). The console must say "frame N done" and which build ran;
# the three frame rates are printed. With WebGL that makes no context
# (--disable-webgl) the page must show its line instead.
#   VEXA_WEB_FRAMES=N   the frame compared (default 30)
set -e
cd "$(dirname "$0")/.."
root=$(pwd)
frames=${VEXA_WEB_FRAMES:-30}

die() {
    echo "test-web: $*" >&2
    exit 1
}

sh scripts/deps.sh
missing=""
for p in chromium python3; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "installing:$missing"
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO=sudo
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get -o DPkg::Lock::Timeout=900 update -qq >/dev/null
    # shellcheck disable=SC2086
    $SUDO apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends $missing >/dev/null ||
        die "cannot install:$missing"
fi
sh scripts/build-web.sh

# The desktop reference: the test command's ci build.
if [ ! -x build/ci/vexa-snapshot ]; then
    cmake --preset ci >/dev/null
    cmake --build --preset ci --target vexa-snapshot >/dev/null
fi
work=$(mktemp -d)
servers=""
cleanup() {
    # shellcheck disable=SC2086
    [ -n "$servers" ] && kill $servers 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT INT TERM
sh scripts/with-display.sh build/ci/vexa-snapshot --frames "$frames" --window "$work/desktop.png" \
    --timings >"$work/desktop.txt" || die "the desktop build did not run"
pngtopam "$work/desktop.png" >"$work/desktop.ppm"

# The browser's fractal kernel (WebAssembly SIMD) against the scalar
# reference, byte for byte, in WebAssembly too.
node build/web/vexa-fractal-check.js --first 1 --last 150 ||
    die "the WebAssembly picture differs from the reference"

# serve NAME [--not-isolated]: a server for build/web; sets url.
serve() {
    python3 scripts/serve-web.py $2 0 >"$work/server-$1.txt" &
    servers="$servers $!"
    i=0
    while ! grep -q serving "$work/server-$1.txt" 2>/dev/null; do
        i=$((i + 1))
        [ $i -gt 100 ] && die "the server did not start"
        sleep 0.1
    done
    url="$(sed -n 's/^serving //p' "$work/server-$1.txt")?frames=$frames"
}

# The desktop window and a browser screenshot: the same fractal bytes in
# both; only the sprite's sampling (nearest texels on a quad the window's
# size) may differ between the two rasterisers, so a channel may be off by a
# little on a few pixels.
compare_with_desktop() {
    pngtopam "$work/$1.png" >"$work/$1.ppm"
    python3 - "$work/desktop.ppm" "$work/$1.ppm" "$1" <<'EOF_COMPARE'
import sys

def read(path):
    data = open(path, "rb").read()
    fields, at = [], 0
    while len(fields) < 4:
        while data[at:at + 1].isspace():
            at += 1
        end = at
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[at:end])
        at = end
    return int(fields[1]), int(fields[2]), data[at + 1:]

(w1, h1, a), (w2, h2, b) = read(sys.argv[1]), read(sys.argv[2])
if (w1, h1) != (w2, h2):
    sys.exit(f"sizes differ: desktop {w1}x{h1}, {sys.argv[3]} {w2}x{h2}")
TOLERANCE, MAX_SHARE = 2, 0.001
worst, off = 0, 0
for p in range(0, len(a), 3):
    d = max(abs(a[p] - b[p]), abs(a[p + 1] - b[p + 1]), abs(a[p + 2] - b[p + 2]))
    worst = max(worst, d)
    off += d > TOLERANCE
share = off / (w1 * h1)
print(f"test-web: {sys.argv[3]}: frame compared with the desktop build's: {off} of {w1 * h1} pixels "
      f"differ by more than {TOLERANCE} in a channel (largest difference {worst}; allowed share "
      f"{MAX_SHARE})")
sys.exit(1 if share > MAX_SHARE else 0)
EOF_COMPARE
}

# run_page NAME SERVER_FLAG EXPECTED_LINE: the page through headless Chromium
# over a pipe (scripts/browser-run.py), in real time.
run_page() {
    serve "$1" $2
    python3 scripts/browser-run.py "$url" "frame $frames done" "$work/$1.png" 600 \
        >"$work/console-$1.txt" ||
        { sed "s/^/$1: /" "$work/console-$1.txt"; die "the page did not report \"frame $frames done\""; }
    sed "s/^/$1: /" "$work/console-$1.txt"
    grep -q "$3" "$work/console-$1.txt" || die "$1: the console does not say \"$3\""
    compare_with_desktop "$1" || die "$1: the browser's frame $frames differs from the desktop build's"
}
run_page threads "" "^vexa: cross-origin isolated: the picture runs on [0-9]* thread"
run_page one-thread --not-isolated "^vexa: not cross-origin isolated: the picture runs on one thread"
echo "desktop: $(grep 'frame rate held' "$work/desktop.txt")"

# A browser whose WebGL makes no context (here: WebGL turned off, which
# Chromium does by leaving the interface in place and refusing every
# context) gets one line of text instead of a blank canvas.
chromium --headless --no-sandbox --disable-webgl --no-first-run --disable-background-networking \
    --disable-component-update --disable-sync --disable-quic --user-data-dir="$work/profile" \
    --dump-dom "$url" >"$work/no-webgl.html" 2>/dev/null || true
grep -q "<p>The demonstration needs WebGL, but this browser could not make a WebGL context." \
    "$work/no-webgl.html" || die "without a WebGL context the page does not say so"
echo "test-web: passed"
