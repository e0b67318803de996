#!/bin/sh
# Builds and runs the demo (the README's first command). Installs missing
# Debian packages first.
set -e
cd "$(dirname "$0")/.."
sh scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target vexa vexa-snapshot
sh scripts/run-demo.sh build/release/vexa
