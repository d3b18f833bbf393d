#!/usr/bin/env bash
# Sets up, builds and starts Kestrane. Without a display it runs under a
# virtual X server, which is only useful for checking that it starts.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

if [ -z "${DISPLAY:-}" ]; then
  echo "No DISPLAY: starting Kestrane under a virtual X server."
  exec xvfb-run -a "$ks_build/app/kestrane" "$@"
fi
exec "$ks_build/app/kestrane" "$@"
