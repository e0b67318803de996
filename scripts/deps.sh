#!/bin/sh
# Installs the Debian packages the build, the demo and the tests need, and only
# those that are missing, so a second run is silent and takes a fraction of a second.
set -e
PKGS="make cmake ninja-build g++ clang libsdl2-dev libglew-dev libgl1-mesa-dev libgl1-mesa-dri \
libgtest-dev libgmock-dev libbenchmark-dev libhwy-dev libassimp-dev libsdl2-image-dev assimp-testmodels \
libpng-dev libimgui-dev libseccomp-dev xvfb xauth xdotool x11-utils x11-apps netpbm mesa-utils libclang-rt-14-dev clang-format \
g++-aarch64-linux-gnu python3 time libgles-dev libegl-dev libfreetype-dev fonts-dejavu-core"
missing=""
for p in $PKGS; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
        missing="$missing $p"
    fi
done
[ -z "$missing" ] && exit 0
echo "installing:$missing"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get -o DPkg::Lock::Timeout=900 update -qq >/dev/null
# shellcheck disable=SC2086
$SUDO apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends $missing >/dev/null
