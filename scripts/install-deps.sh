#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need.
# Only what is missing is installed, so a second run costs a few dpkg queries.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config ccache
  qt6-base-dev qt6-base-dev-tools libqt6svg6
  libqt6sql6-sqlite libqt6sql6-odbc unixodbc-dev tdsodbc
  libgsf-1-dev libexpat1-dev libxml2-dev libsimpleini-dev libsqlite3-dev libgtest-dev
  libicu-dev fonts-noto-cjk sqlite3
  postgresql odbc-postgresql
  python3 python3-xlwt python3-xlrd python3-openpyxl python3-odf
  libxlsxwriter-dev qt6-translations-l10n libssl-dev
  librsvg2-bin dpkg-dev file desktop-file-utils man-db
)
if [ "${1:-}" = "--extra" ]; then shift; packages+=("$@"); fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
