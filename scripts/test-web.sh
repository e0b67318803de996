#!/bin/sh
# The demonstration in a browser: builds it (scripts/build-web.sh), serves
# build/web on 127.0.0.1 with the cross-origin isolation headers, opens
# vexa.html?frames=N in headless Chromium (software WebGL through SwiftShader),
# takes a screenshot of the page and compares it with the desktop build's
# window at frame N (vexa-snapshot --frames N --window on the virtual display).
# The console must say "frame N done"; both frame rates are printed. Without
# WebGL (--disable-3d-apis) the page must show its one line instead.
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
server=""
cleanup() {
    [ -n "$server" ] && kill "$server" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT INT TERM
sh scripts/with-display.sh build/ci/vexa-snapshot --frames "$frames" --window "$work/desktop.png" \
    --timings >"$work/desktop.txt" || die "the desktop build did not run"

python3 scripts/serve-web.py 0 >"$work/server.txt" &
server=$!
i=0
while ! grep -q serving "$work/server.txt" 2>/dev/null; do
    i=$((i + 1))
    [ $i -gt 100 ] && die "the server did not start"
    sleep 0.1
done
url="$(sed -n 's/^serving //p' "$work/server.txt")?frames=$frames"

# Headless Chromium driven over a pipe (scripts/browser-run.py), in real time.
python3 scripts/browser-run.py "$url" "frame $frames done" "$work/web.png" 600 >"$work/console.txt" ||
    { sed 's/^/browser: /' "$work/console.txt"; die "the page did not report \"frame $frames done\""; }
sed 's/^/browser: /' "$work/console.txt"

# The picture: the same fractal bytes in both builds; only the sprite's
# sampling (nearest texels on a quad the window's size) may differ between
# the two rasterisers, so a channel may be off by a little on a few pixels.
pngtopam "$work/desktop.png" >"$work/desktop.ppm"
pngtopam "$work/web.png" >"$work/web.ppm"
python3 - "$work/desktop.ppm" "$work/web.ppm" <<'EOF_COMPARE' || die "the browser's frame $frames differs from the desktop build's"
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
    sys.exit(f"sizes differ: desktop {w1}x{h1}, browser {w2}x{h2}")
TOLERANCE, MAX_SHARE = 2, 0.001
worst, off = 0, 0
for p in range(0, len(a), 3):
    d = max(abs(a[p] - b[p]), abs(a[p + 1] - b[p + 1]), abs(a[p + 2] - b[p + 2]))
    worst = max(worst, d)
    off += d > TOLERANCE
share = off / (w1 * h1)
print(f"test-web: frame compared with the desktop build's: {off} of {w1 * h1} pixels differ by more "
      f"than {TOLERANCE} in a channel (largest difference {worst}; allowed share {MAX_SHARE})")
sys.exit(1 if share > MAX_SHARE else 0)
EOF_COMPARE
echo "desktop: $(grep 'frame rate held' "$work/desktop.txt")"

# A browser without WebGL gets one line of text instead of a blank canvas.
chromium --headless --no-sandbox --disable-3d-apis --no-first-run --disable-background-networking \
    --disable-component-update --disable-sync --disable-quic --user-data-dir="$work/profile" \
    --dump-dom "$url" >"$work/no-webgl.html" 2>/dev/null || true
grep -q "<p>The demonstration needs WebGL" "$work/no-webgl.html" ||
    die "without WebGL the page does not say so"
echo "test-web: passed"
