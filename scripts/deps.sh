#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need (skips what is there).
# With --windows: also the mingw-w64 cross compilers, Wine and GoogleTest's sources, for the
# Windows build and its tests under Wine.
set -euo pipefail
pkgs=(cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
      libgtest-dev libgmock-dev libbenchmark-dev zlib1g-dev libstb-dev
      libsdl2-dev libepoxy-dev libfreetype-dev libfontconfig-dev
      fonts-dejavu-core fonts-liberation
      glslang-dev spirv-cross libspirv-cross-c-shared-dev
      libgl1-mesa-dri xvfb xauth xdotool x11-utils imagemagick python3
      openbox wmctrl x11-xserver-utils xclip)
if [ "${1:-}" = --windows ]; then
  pkgs+=(g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev wine wine64 fonts-wine googletest zip)
fi
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
