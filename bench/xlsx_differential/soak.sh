#!/usr/bin/env bash
# The differential test of the in-place writer at length, with cells in the last row too:
#   soak.sh BUILD_DIR [FIRST_SEED] [COUNT]      (defaults: 10000 and 3000 packages)
# Needs a build with the tests (xlsx_differential_edit) and /usr/bin/python3 with python3-openpyxl;
# sheets/xlsx/tests/differential/run.py says what it does and prints.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
exec /usr/bin/python3 "$here/../../sheets/xlsx/tests/differential/run.py" \
  "$build/sheets/xlsx/tests/xlsx_differential_edit" "${TMPDIR:-/tmp}/pellucor-xlsx-soak" \
  "${2:-10000}" "${3:-3000}" --far-rows
