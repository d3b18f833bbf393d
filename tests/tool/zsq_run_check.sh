#!/bin/sh
# kestrane-tool zsq-check and zsq-run against kestrane-devsim zaber: the
# sequence is counted, run two steps of three, and the simulated stage stands
# where the tool says it does.
# usage: zsq_run_check.sh KESTRANE_TOOL KESTRANE_DEVSIM
tool=$1 devsim=$2
work=$(mktemp -d)
log=$work/devsim.log
trap 'kill $sim 2>/dev/null; rm -rf "$work"' EXIT
. "$(dirname "$0")/devsim_port.sh"

cat >"$work/raster.zsq" <<'ZSQ'
BEGIN_MULTI_COMMAND row
  step_x 0.5
  pause
END_MULTI_COMMAND
BEGIN_MAIN
  move 0 1 0
  repeat 3
    row
  repeat_end
END_MAIN
ZSQ
printf 'BEGIN_MAIN\nrepeat 0\nrepeat_end\nstep_x nan\nEND_MAIN\n' >"$work/bad.zsq"

out=$("$tool" zsq-check "$work/raster.zsq") || { echo "$out"; exit 1; }
[ "$out" = "3 steps" ] || { echo "zsq-check said: $out"; exit 1; }
if err=$("$tool" zsq-check "$work/bad.zsq" 2>&1); then echo "a bad file passed: $err"; exit 1; fi
echo "$err" | grep -q "bad.zsq:2: repeat needs" || { echo "$err"; exit 1; }
echo "$err" | grep -q "bad.zsq:4: a value is not a finite number" || { echo "$err"; exit 1; }

start_devsim zaber --slide-speed 200
out=$(HOME=$work "$tool" zsq-run "$port" "$work/raster.zsq" --steps 2) || { echo "$out"; cat "$log"; exit 1; }
echo "$out"
echo "$out" | grep -q '^homed at (0.000000, 0.000000, 0.000000) cm$' || exit 1
echo "$out" | grep -q '^step 1 at (0.5000[0-9]*, 0.9999[0-9]*, 0.000000) cm$' || exit 1
echo "$out" | grep -q '^step 2 at (0.9999[0-9]*, 0.9999[0-9]*, 0.000000) cm$' || exit 1
echo "$out" | tail -n 1 | grep -q '^Completed 2 of 3 steps$' || exit 1
# The simulator shows the stage where it stopped: x and y at 10 mm, z at home.
sleep 0.3
tail -n 1 "$log" | grep -q 'x *10.000 y *10.000 z *0.000$' || { cat "$log"; exit 1; }
# Stopped, it says whether the host ever set the line other than 9600 8N1.
kill $sim; wait $sim
grep -q "did not match" "$log" && { cat "$log"; exit 1; }
exit 0
