#!/usr/bin/env bash
# Brings a Debian 12 machine to the point where the workbench builds and its tests run:
# installs the missing Debian packages (only when some are missing), configures once, builds incrementally.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ORVIK_BUILD_DIR:-$root/build}

packages=(
  cmake g++ ninja-build pkg-config dpkg-dev file
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins
  libqt6sql6-sqlite libqt6sql6-psql libqt6sql6-odbc libqt6sql6-mysql
  libsqlite3-dev libpq-dev
  unixodbc unixodbc-dev odbc-postgresql libsqliteodbc tdsodbc odbc-mdbtools
  libxlsxwriter-dev
  fonts-noto-cjk fonts-arphic-ukai qt6-translations-l10n
  postgresql sqlite3
  xvfb xauth xdotool imagemagick unzip poppler-utils
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "== installing Debian packages: ${missing[*]}"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
fi

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" -j"$(nproc)"
