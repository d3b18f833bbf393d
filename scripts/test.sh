#!/usr/bin/env bash
# Sets up, builds and runs every test. GUI tests need an X server, so the
# suite runs under a virtual one.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

cd "$ks_build"
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j "${KS_JOBS:-2}" "$@"
