#!/bin/sh
# The demonstration in a browser: builds it (scripts/build-web.sh), serves
# build/web on 127.0.0.1 with the cross-origin isolation headers, opens
# vexa.html?frames=N in headless Chromium (software WebGL through SwiftShader),
# takes a screenshot of the page and compares it with the desktop build's
# window at frame N (vexa-snapshot --frames N --window on the virtual display).
# The console must say "frame N done"; both frame rates are printed.
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

# A fresh profile each run, nothing fetched from the network, software WebGL.
chromium --headless --no-sandbox --use-angle=swiftshader --enable-unsafe-swiftshader \
    --no-first-run --disable-background-networking --disable-component-update --disable-sync \
    --disable-quic --user-data-dir="$work/profile" --window-size=1024,600 \
    --hide-scrollbars --enable-logging=stderr --v=0 --virtual-time-budget=600000 \
    --screenshot="$work/web.png" "$url" >"$work/chromium.txt" 2>&1 || true
console=$(sed -n 's/.*CONSOLE([0-9]*)\] "\(.*\)", source.*/\1/p' "$work/chromium.txt")
echo "$console" | sed 's/^/browser: /'
echo "$console" | grep -qx "frame $frames done" ||
    { tail -n 20 "$work/chromium.txt"; die "the page did not report \"frame $frames done\""; }
[ -f "$work/web.png" ] || die "no screenshot"
