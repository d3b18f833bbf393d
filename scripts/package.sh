#!/usr/bin/env bash
# Builds the Debian package kestrane_<version>_amd64.deb into build/package
# (after the same set-up and build as run.sh). Install it with
#   sudo apt install ./build/package/kestrane_*_amd64.deb
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
cpack -G DEB -B "$ks_build/package" --config "$ks_build/CPackConfig.cmake"
ls "$ks_build"/package/kestrane_*_amd64.deb
