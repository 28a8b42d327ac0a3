#!/usr/bin/env bash
# Installs what is missing, builds Pellucor and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
exec build/app/pellucor "$@"
