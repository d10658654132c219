#!/usr/bin/env bash
# Installs the Debian packages the program and its tests need (only those that
# are missing), then configures and builds. Sourced by run.sh and test.sh.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

PACKAGES=(build-essential cmake qt6-base-dev qt6-charts-dev libqt6opengl6-dev libqt6sql6-sqlite libqt6svg6
          libgeographiclib-dev fonts-liberation fonts-dejavu-core
          poppler-utils xvfb xauth imagemagick sqlite3 libsqlite3-dev
          qt6-translations-l10n x11-utils cups printer-driver-cups-pdf cups-client python3
          pkg-config mdbtools-dev mdbtools libfiu-dev fiu-utils
          postgresql-15 libqt6sql6-psql libpq-dev)
# LibreOffice (several hundred MB) only for the test labelled "spreadsheet", on request.
if [ "${SEQUANEL_SPREADSHEET:-0}" = 1 ]; then
  PACKAGES+=(libreoffice-calc-nogui)
fi
# What packaging/check.sh needs to build, check, install and run the Debian package, on request.
if [ "${SEQUANEL_PACKAGING:-0}" = 1 ]; then
  PACKAGES+=(debhelper dpkg-dev fakeroot lintian desktop-file-utils appstream man-db)
fi
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo ${CMAKE_EXTRA_ARGS:-} > /dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)"
