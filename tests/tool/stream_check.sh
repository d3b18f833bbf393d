#!/usr/bin/env bash
# kestrane-tool stream end to end: a demo recording served on a free port
# reaches a client whole (every frame, every pose, CRCs intact), and the tool
# reports what it sent; kestrane-tool receive records the same frames,
# times, poses and calibration back.
#   stream_check.sh TOOL CLIENT WORK
set -euo pipefail
tool=$1 client=$2 work=$3
rm -rf "$work"
mkdir -p "$work"
"$tool" make-demo "$work/demo" --frames 12 --size 64x48 > /dev/null
# Serves the demo on a free port in the background, output to $1; sets pid and port.
serve() {
  "$tool" stream "$work/demo/kestrane_demo.ks" --port 0 --wait-client 20 > "$1" 2>&1 &
  pid=$!
  port=
  for _ in $(seq 200); do
    port=$(sed -n 's/^Streaming 12 frames on port \([0-9]*\)$/\1/p' "$1")
    [ -n "$port" ] && return 0
    sleep 0.05
  done
  echo "the tool never said its port"
  cat "$1"
  kill $pid
  exit 1
}

serve "$work/stream.out"
got=$("$client" "$port" 12 20)
wait $pid
[ "$got" = "images 12 transforms 12 bad 0" ] || { echo "the client got: $got"; cat "$work/stream.out"; exit 1; }
grep -q "^Sent 12 frames (24 messages to clients; 0 dropped for slow clients)" "$work/stream.out" ||
  { cat "$work/stream.out"; exit 1; }
echo "streamed: $got"

# kestrane-tool receive records what stream sends: the same frames, times and poses, and the calibration.
serve "$work/stream2.out"
"$tool" receive "127.0.0.1:$port" "$work/got.ks" --frames 12 | grep -q "^Received 12 frames of 64 x 48 (12 with poses)"
wait $pid
# The same times; the same poses to float precision (they travel as 32-bit matrices).
paste -d ' ' <(grep '^IM ' "$work/demo/kestrane_demo.ks") <(grep '^IM ' "$work/got.ks") | awk '
  function abs(x) { return x < 0 ? -x : x }
  { if ($2 != $10) { print "time " $2 " came as " $10; bad = 1 }
    for (k = 3; k <= 8; ++k) if (abs($k - $(k + 8)) > 1e-5 * (1 + abs($k))) { print "pose " NR ": " $0; bad = 1 } }
  END { if (NR != 12) { print NR " poses"; bad = 1 }; exit bad }'
"$tool" export-frames "$work/demo/kestrane_demo.ks" 0:11 "$work/sent.png" > /dev/null
"$tool" export-frames "$work/got.ks" 0:11 "$work/got.png" > /dev/null
for f in "$work"/sent*.png; do
  cmp "$f" "${f/sent/got}"
done
for key in RES_XTRANS RES_YTRANS RES_ZTRANS RES_XSCALE RES_YSCALE; do
  [ "$(grep "^$key " "$work/demo/kestrane_demo.ks")" = "$(grep "^$key " "$work/got.ks")" ] ||
    { echo "$key differs"; exit 1; }
done
echo "received what was streamed"
