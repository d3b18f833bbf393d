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
# Serves the demo on a free port in the background, output to $1 (further
# arguments are the stream's options); sets pid and port.
serve() {
  local out=$1
  shift
  : > "$out"  # there before the background job opens it, which may be after the first look
  "$tool" stream "$work/demo/kestrane_demo.ks" --port 0 --wait-client 20 "$@" > "$out" 2>&1 &
  pid=$!
  port=
  for _ in $(seq 200); do
    port=$(sed -n 's/^Streaming 12 frames on port \([0-9]*\)$/\1/p' "$out")
    [ -n "$port" ] && return 0
    sleep 0.05
  done
  echo "the tool never said its port"
  cat "$out"
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

# kestrane-tool capture records from the server as from a capture card and a
# tracker (the GUI's "OpenIGTLink images" and "OpenIGTLink server" sources):
# every frame one the demo holds, with that frame's pose. Served round and
# round: the first second of a server's stamps only teaches the clock offset.
serve "$work/stream3.out" --loop
"$tool" capture openigtlink --server "127.0.0.1:$port" --tracker openigtlink --frames 6 "$work/live.ks" |
  grep -q "^6 frames recorded with positions"
kill $pid
wait $pid
# Time goes forward from pass to pass, as from a live scanner.
awk '$1 == "IM" { if (n++ && $2 <= last) { print "time " $2 " after " last; bad = 1 }; last = $2 }
  END { exit bad }' "$work/live.ks"
"$tool" export-frames "$work/live.ks" 0:5 "$work/live.png" > /dev/null
awk 'FNR == NR { if ($1 == "IM") sent[++n] = $0; next }
  function abs(x) { return x < 0 ? -x : x }
  $1 == "IM" { ++got; split($0, g, " ")
    for (i = 1; i <= n; ++i) { split(sent[i], s, " "); same = 1
      for (k = 3; k <= 8; ++k) if (abs(s[k] - g[k]) > 1e-5 * (1 + abs(s[k]))) same = 0
      if (same) { matched[got] = i; break } }
    if (!matched[got]) { print "captured pose " got " is none of the demo poses: " $0; bad = 1 } }
  END { if (got != 6) { print got " frames"; bad = 1 }; for (f = 1; f <= got; ++f) printf "%d %d\n", f - 1, matched[f] - 1 > "/dev/stderr"; exit bad }' \
  "$work/demo/kestrane_demo.ks" "$work/live.ks" 2> "$work/matched.txt"
# Each captured frame is the demo frame whose pose it carries.
while read -r live sent; do
  printf -v a "%s/live%04d.png" "$work" "$live"
  printf -v b "%s/sent%04d.png" "$work" "$sent"
  cmp "$a" "$b"
done < "$work/matched.txt"
echo "captured what was streamed"
