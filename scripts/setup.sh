#!/usr/bin/env bash
# Installs every Debian package that the build and the tests need. Idempotent;
# run as root (or through sudo). Skips apt when everything is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  clang libclang-rt-14-dev
  libxml2-dev libxml2-utils
  libgtest-dev libgmock-dev
  qt6-base-dev qt6-base-dev-tools libxcb1-dev fonts-liberation2
  xvfb x11-utils xdotool tk
  python3 python3-dbfread gdal-bin
  time
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
