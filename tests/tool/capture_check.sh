#!/bin/sh
# kestrane-tool capture without hardware: the simulated tracker sweeps over the
# demo phantom, the simulated images follow it, and the saved recording holds
# the frames asked for, with positions that move along the sweep.
# usage: capture_check.sh KESTRANE_TOOL KESTRANE_DEVSIM WORK_DIR
tool=$1 devsim=$2 work=$3
log=$(mktemp)
home=$(mktemp -d)
trap 'kill $sim 2>/dev/null; rm -rf "$log" "$home"' EXIT
rm -rf "$work" && mkdir -p "$work"
HOME=$home "$tool" make-demo "$work" --frames 4 >/dev/null || exit 1
. "$(dirname "$0")/devsim_port.sh"
start_devsim fastrak --path demo
out=$(HOME=$home "$tool" capture simulated --tracker "$port" --template "$work/kestrane_demo.kst" --frames 12 \
      "$work/live") || { echo "$out"; exit 1; }
echo "$out"
echo "$out" | grep -q "^12 frames recorded with positions$" || exit 1
info=$(HOME=$home "$tool" info "$work/live.ks") || { echo "$info"; exit 1; }
echo "$info"
echo "$info" | grep -q "^frames      12$" || exit 1
echo "$info" | grep -q "^data        B-mode, 640 x 480 pixels$" || exit 1
echo "$info" | grep -q "^positions   yes$" || exit 1
# The demo sweep moves along x at half a centimetre a second: the probe must have moved.
echo "$info" | grep -q "^probe moved 0\.0[0-9] x" && { echo "the probe did not move along the sweep"; exit 1; }
exit 0
