#!/usr/bin/env bash
# Installs every Debian package the build, the tests, the fuzzers, the
# benchmarks and the demo need.  Safe to run again: it installs only what is
# missing.  "setup.sh windows" also installs what the Windows build and its
# tests need (MinGW-w64, wine, zip); scripts/test-windows.sh asks for it.
set -euo pipefail

PACKAGES=(
  build-essential g++ cmake ninja-build pkg-config
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  qt6-base-dev qt6-base-dev-tools libgl1-mesa-dev libxkbcommon-dev
  srecord binutils-m68hc1x
  clang libclang-rt-14-dev
  xvfb xauth x11-apps imagemagick fonts-dejavu-core
)

if [ "${1:-}" = "windows" ]; then
  PACKAGES+=(g++-mingw-w64-x86-64-posix googletest wine wine64 zip)
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: every package is installed"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "setup: installing ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
