#!/bin/sh
# kestrane-tool swept-motor against kestrane-devsim swept-motor: the motor is
# centred, one sweep of 50 frames runs from end to end with every frame
# further along than the one before, the simulated motor ends where the last
# frame says, and a controller without an index mark fails the command.
# usage: swept_motor_check.sh KESTRANE_TOOL KESTRANE_DEVSIM
tool=$1 devsim=$2
work=$(mktemp -d)
log=$work/devsim.log
trap 'kill $sim 2>/dev/null; rm -rf "$work"' EXIT
. "$(dirname "$0")/devsim_port.sh"

start_devsim swept-motor
out=$(HOME=$work "$tool" swept-motor "$port" --sweep 100) || { echo "$out"; cat "$log"; exit 1; }
echo "$out" | head -n 1 | grep -q '^Motor centred; sweeps run from -1087 to 1087 counts' || { echo "$out"; exit 1; }
[ "$(echo "$out" | grep -c '^frame ')" = 50 ] || { echo "$out"; exit 1; }
echo "$out" | awk '/^frame / { a = $3 + 0; if (n++ && a <= last) bad = 1; last = a; if (n == 1) first = a }
  END { exit !(bad == 0 && first < -1000 && last > 1000) }' || { echo "$out"; exit 1; }
sleep 0.3
tail -n 1 "$log" | grep -q 'position (counts): *1086$' || { cat "$log"; exit 1; }
kill $sim; wait $sim
grep -q "did not match" "$log" && { cat "$log"; exit 1; }

start_devsim swept-motor --no-index
if out=$(HOME=$work "$tool" swept-motor "$port" 2>&1); then echo "no index mark, yet: $out"; exit 1; fi
echo "$out" | grep -q "Initialisation failed: no response on port" || { echo "$out"; exit 1; }
exit 0
