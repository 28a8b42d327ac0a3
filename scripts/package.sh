#!/usr/bin/env bash
# Installs what is missing, builds Pellucor into build/ and makes its Debian package there
# (build/pellucor_VERSION_ARCH.deb, installing into /usr).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh package
bash scripts/build.sh
cd build
cpack -G DEB
