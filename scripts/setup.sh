#!/usr/bin/env bash
# Idempotent set-up of a Debian machine for building and testing PelkoWebLoader.
# Quick when everything is already installed.
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

PACKAGES=(
  cmake ninja-build make pkg-config python3 file binutils
  g++ clang libclang-rt-14-dev llvm
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools libz-mingw-w64-dev ccache
  libwine-dev:i386
  googletest libbenchmark-dev zlib1g-dev libzip-dev tzdata
  xvfb x11-utils xauth
  zip unzip libarchive-tools
  wine wine32:i386 wine64
  libssl-dev imagemagick
  wixl msitools osslsigncode
  lld
  nginx-light varnish squid
  libdivsufsort-dev bsdiff xdelta3 libbz2-dev
)

have_all() {
  dpkg --print-foreign-architectures | grep -qx i386 || return 1
  # dpkg-query prints "install ok installed" for every installed package
  local status
  status=$(dpkg-query -W -f='${Status}\n' "${PACKAGES[@]}" 2>/dev/null) || return 1
  [ "$(grep -c 'install ok installed' <<<"$status")" -eq "${#PACKAGES[@]}" ]
}

if have_all; then
  echo "setup: all packages present"
  exit 0
fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${PACKAGES[@]}"
have_all || { echo "setup: packages still missing" >&2; exit 1; }
echo "setup: done"
