#!/bin/sh
# Builds GoogleTest for Emscripten (threads) from Debian's source package
# googletest, once, into the cache (scripts/cross-libraries.sh,
# googletest_web), and prints its folder on its last line, for
# VEXA_CROSS_PREFIXES: the browser build's unit tests, run under Node.
set -e
cd "$(dirname "$0")/.."
SCRIPT=build-web-googletest
. scripts/cross-common.sh
. scripts/cross-libraries.sh
JOBS=${VEXA_JOBS:-2}

install_packages emscripten nodejs dpkg-dev cmake ninja-build
require_tool emcmake emscripten
require_tool node nodejs
require_tool cmake cmake
require_tool ninja ninja-build
require_tool dpkg-source dpkg-dev
enable_source_packages
googletest_web
