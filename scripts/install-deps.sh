#!/usr/bin/env bash
# Brings every Debian package Pellucor needs to build, run and test onto this machine.
# Does nothing when all of them are already installed.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config git
  # .xlsx packages written in place
  libzip-dev libpugixml-dev
  # windows
  qt6-base-dev qt6-qpa-plugins qt6-translations-l10n fonts-wqy-microhei
  # the spreadsheet application: the GUI-capable core, so that a workbook can be shown
  libreoffice-core libreoffice-calc libreoffice-dev
  # tests
  googletest xvfb xauth xdotool
  # the comparison with the office's own insertion (bench/xlsx_differential)
  python3-uno
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null || true)
  [[ "$status" == ii* ]] || missing+=("$p")
done
# The -nogui core aborts as soon as a window is shown; it must give way to the full core.
if dpkg-query -W -f='${db:Status-Abbrev}' libreoffice-core-nogui 2>/dev/null | grep -q '^ii'; then
  missing+=(libreoffice-core)
fi

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages: ${missing[*]}; run as root (or with sudo) to install them" >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
