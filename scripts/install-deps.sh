#!/usr/bin/env bash
# Installs every Debian package Talmar needs to build, test, run and take screenshots.
# Safe to run again: packages already present are left alone and apt is not called at all.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config git clang-format binutils
  qt6-base-dev qt6-base-dev-tools qt6-base-private-dev qt6-serialport-dev qt6-qpa-plugins libgl-dev
  qt6-translations-l10n
  libsqlite3-dev sqlite3 pxlib-dev
  clang-14 libclang-rt-14-dev
  googletest libgtest-dev libgmock-dev
  xvfb xauth x11-apps xdotool imagemagick fonts-dejavu-core
  dpkg-dev lintian desktop-file-utils librsvg2-bin
  dbus-daemon at-spi2-core python3-gi gir1.2-atspi-2.0
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "install-deps: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
