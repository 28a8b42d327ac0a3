#!/usr/bin/env bash
# Installs what is missing, builds Pellucor and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh tests
cd build
# Some tests show workbooks in the office and replay a person's use of the window: give them a
# display of their own when there is none.
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure "$@"
fi
exec ctest --output-on-failure "$@"
