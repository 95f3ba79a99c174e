#!/usr/bin/env bash
# Installs the Debian packages that building and testing ovra_player needs.
# Safe to re-run: does nothing when every package is already installed.
# Usage: install-deps.sh
# assimp-testmodels holds the real models the packer tests and benchmarks read;
# nginx serves models to the HTTP tests; Mesa renders the viewer headless;
# doxygen writes the API reference, dpkg-dev and abigail-tools build and check
# the Debian packages and the library's ABI; clang-format-14 checks the style.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkgconf binutils
  clang-14 libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  zlib1g-dev libzstd-dev nlohmann-json3-dev libstb-dev
  libmeshoptimizer-dev libassimp-dev assimp-testmodels
  libdraco-dev libpng-dev libturbojpeg0-dev libsquish-dev
  libcurl4-openssl-dev nginx-light
  libglfw3-dev libegl-dev libgl-dev libegl-mesa0 libgl1-mesa-dri gnuplot-nox
  doxygen dpkg-dev abigail-tools clang-format-14
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#packages[@]} packages present"
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "install-deps: installing ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
