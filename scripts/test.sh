#!/usr/bin/env bash
# Sets up, builds and runs every test, then builds again with AddressSanitizer
# and UBSan and runs the suite once more (skip that with KS_SANITIZERS=0).
# GUI tests need an X server, so the suites run under a virtual one.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

ks_run_suite() {
  (cd "$1" && xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j "${KS_JOBS:-2}")
}

ks_run_suite "$ks_build"
if [ "${KS_SANITIZERS:-1}" = "1" ]; then
  ks_build_all "$ks_root/build-asan" -DCMAKE_BUILD_TYPE=Debug -DKS_SANITIZE=ON -DKS_BUILD_BENCHMARKS=OFF
  ks_run_suite "$ks_root/build-asan"
fi
