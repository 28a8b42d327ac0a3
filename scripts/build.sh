#!/usr/bin/env bash
# Installs what is missing, then configures and builds into build/.
#   build.sh           the program alone
#   build.sh tests     everything: the program, the test suite and the benchmarks
set -euo pipefail
cd "$(dirname "$0")/.."
case "${1:-program}" in
  program) deps=program; everything=OFF ;;
  tests) deps=tests; everything=ON ;;
  *) echo "usage: build.sh [program|tests]" >&2; exit 2 ;;
esac
bash scripts/install-deps.sh "$deps"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPELLUCOR_BUILD_TESTS=$everything -DPELLUCOR_BUILD_BENCH=$everything >/dev/null
if [ $everything = ON ]; then
  cmake --build build
else
  cmake --build build --target pellucor
fi
