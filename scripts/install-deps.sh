#!/usr/bin/env bash
# Brings the Debian packages Pellucor needs onto this machine. Does nothing when all are installed.
#   install-deps.sh            what building and running the program needs
#   install-deps.sh tests      that, and what the test suite adds
#   install-deps.sh package    that, and what making the Debian package adds
#   install-deps.sh SET --list prints the packages of a set instead
set -euo pipefail

program=(
  # build
  build-essential cmake ninja-build pkg-config
  # windows
  qt6-base-dev qt6-qpa-plugins qt6-translations-l10n fonts-wqy-microhei
  # the spreadsheet application: the GUI-capable core, so that a workbook can be shown, with its
  # user interface in Chinese
  libreoffice-core libreoffice-calc libreoffice-dev libreoffice-l10n-zh-cn
  # writing .xlsx packages
  libzip-dev libpugixml-dev
)
tests=(libgtest-dev xvfb xauth xdotool procps shellcheck)
package=(file dpkg-dev)

case "${1:-program}" in
  program) packages=("${program[@]}") ;;
  tests) packages=("${program[@]}" "${tests[@]}") ;;
  package) packages=("${program[@]}" "${package[@]}") ;;
  *) echo "usage: install-deps.sh [program|tests|package] [--list]" >&2; exit 2 ;;
esac
if [ "${2:-}" = --list ]; then
  printf '%s\n' "${packages[@]}"
  exit 0
fi

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
