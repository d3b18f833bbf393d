#!/usr/bin/env bash
# Sets up, builds and starts Kestrane on the demo recording (made on the first
# run in build/demo). Any arguments replace the demo: `scripts/run.sh FILE.ks`.
# Without a display it runs under a virtual X server, which only shows that it starts.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

args=("$@")
if [ ${#args[@]} -eq 0 ]; then
  demo="$ks_build/demo/kestrane_demo.ks"
  [ -f "$demo" ] || "$ks_build/tool/kestrane-tool" make-demo "$ks_build/demo"
  args=("$demo")
fi
if [ -z "${DISPLAY:-}" ]; then
  echo "No DISPLAY: starting Kestrane under a virtual X server."
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$ks_build/app/kestrane" "${args[@]}"
fi
exec "$ks_build/app/kestrane" "${args[@]}"
