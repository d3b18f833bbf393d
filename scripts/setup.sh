#!/usr/bin/env bash
# Installs every Debian package Kestrane needs (only those missing), then
# configures and builds. Sourced by run.sh and test.sh; safe to run alone.
# KS_BUILD_DIR picks the build folder (default: build).
set -euo pipefail

ks_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
ks_build="${KS_BUILD_DIR:-$ks_root/build}"

ks_packages=(
  cmake ninja-build g++ pkg-config ccache git
  libwxgtk3.2-dev libgtk-3-dev libgl1-mesa-dri
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libcminpack-dev libjpeg62-turbo-dev libopenjp2-7-dev libtiff-dev libv4l-dev libfftw3-dev zlib1g-dev
  freeglut3-dev libglu1-mesa-dev
  xvfb xauth parallel
  dpkg-dev help2man lintian
  python3-vtk9 python3-scipy python3-numpy python3-pydicom python3-nibabel teem-apps
  libdcmtk-dev libgdcm-dev libopenigtlink-dev
)

ks_install_missing() {
  local missing=()
  for p in "${ks_packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
}

# ks_build_all DIR [extra cmake options...]
ks_build_all() {
  local dir="$1"; shift
  cmake -S "$ks_root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
  # Two jobs: the machines we build on have two cores.
  cmake --build "$dir" -j "${KS_JOBS:-2}"
}

ks_install_missing
ks_build_all "$ks_build"
