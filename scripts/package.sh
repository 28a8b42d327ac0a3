#!/usr/bin/env bash
# Installs what is missing, builds Pellucor for /usr into build-package/ and makes its Debian package
# there (build-package/pellucor_VERSION_ARCH.deb).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh package
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
  -DPELLUCOR_BUILD_TESTS=OFF -DPELLUCOR_BUILD_BENCH=OFF >/dev/null
cmake --build build-package
cd build-package
cpack -G DEB
