#!/usr/bin/env bash
# Installs every Debian 12 package the build, the tests and the benchmarks need.
# Runs as root (or through sudo); safe to run again.
set -euo pipefail
packages=(
  build-essential
  clang-14
  libclang-rt-14-dev
  clang-format
  cmake
  ninja-build
  pkg-config
  libgtest-dev
  libgmock-dev
  libbenchmark-dev
  libssl-dev
  libgmp-dev
  libbcg729-dev
  portaudio19-dev
  pulseaudio
  pulseaudio-utils
  libasound2-plugins
  qt6-base-dev
  xvfb
  xdotool
  imagemagick
  dbus
  fonts-dejavu-core
  dpkg-dev
  lintian
  man-db
  appstream
  desktop-file-utils
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
