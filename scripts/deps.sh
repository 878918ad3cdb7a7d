#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when they are missing and we are root.
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libsqlite3-dev sqlite3
          pxlib-dev clang libclang-rt-14-dev libxlsxwriter-dev python3-xlrd
          mariadb-server mariadb-client
          qt6-base-dev qt6-base-dev-tools libqscintilla2-qt6-dev libgl-dev fonts-liberation
          fonts-dejavu-core xvfb xauth)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -eq 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
  else
    echo "Missing packages (run as root to install them): ${missing[*]}" >&2
    exit 1
  fi
fi
