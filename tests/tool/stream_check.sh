#!/usr/bin/env bash
# kestrane-tool stream end to end: a demo recording served on a free port
# reaches a client whole (every frame, every pose, CRCs intact), and the tool
# reports what it sent.
#   stream_check.sh TOOL CLIENT WORK
set -euo pipefail
tool=$1 client=$2 work=$3
rm -rf "$work"
mkdir -p "$work"
"$tool" make-demo "$work/demo" --frames 12 --size 64x48 > /dev/null
"$tool" stream "$work/demo/kestrane_demo.ks" --port 0 --wait-client 20 > "$work/stream.out" 2>&1 &
pid=$!
port=
for _ in $(seq 200); do
  port=$(sed -n 's/^Streaming 12 frames on port \([0-9]*\)$/\1/p' "$work/stream.out")
  [ -n "$port" ] && break
  sleep 0.05
done
[ -n "$port" ] || { echo "the tool never said its port"; cat "$work/stream.out"; kill $pid; exit 1; }
got=$("$client" "$port" 12 20)
wait $pid
[ "$got" = "images 12 transforms 12 bad 0" ] || { echo "the client got: $got"; cat "$work/stream.out"; exit 1; }
grep -q "^Sent 12 frames (24 messages to clients; 0 dropped for slow clients)" "$work/stream.out" ||
  { cat "$work/stream.out"; exit 1; }
echo "streamed: $got"
