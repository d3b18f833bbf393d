#!/usr/bin/env bash
# A long command's progress on standard error: plain lines when it goes to a
# file, none with --quiet and results on standard output untouched; Ctrl-C
# stops it with status 130 and leaves no output file behind.
#   progress_check.sh TOOL WORK
set -euo pipefail
tool=$1 work=$2
rm -rf "$work"
mkdir -p "$work"
"$tool" make-demo "$work/demo" --frames 200 --size 480x360 > /dev/null
recording=$work/demo/kestrane_demo.ks

"$tool" export-voxels "$recording" "$work/a.ks" > "$work/a.out" 2> "$work/a.err"
grep -q "slices of" "$work/a.out"
if ! grep -q "^Export voxels \[#*\.*\] *[0-9]*% " "$work/a.err"; then
  # A machine fast enough to finish within the quiet first second shows nothing: not a fault.
  echo "(the export took under a second: no progress expected)"
fi
! grep -q "Export voxels" "$work/a.out" || { echo "progress on standard output"; exit 1; }
"$tool" export-voxels "$recording" "$work/b.ks" --quiet > "$work/b.out" 2> "$work/b.err"
[ ! -s "$work/b.err" ] || { echo "--quiet still wrote:"; cat "$work/b.err"; exit 1; }

# Ctrl-C once the export is under way.
rm -f "$work"/a.k* "$work"/b.k*  # large, and not needed again
mkdir -p "$work/log"
"$tool" export-voxels "$recording" "$work/c.ks" > /dev/null 2> "$work/log/c.err" &
pid=$!
for _ in $(seq 600); do
  grep -q "Export voxels \[" "$work/log/c.err" 2> /dev/null && break
  kill -0 $pid 2> /dev/null || break
  sleep 0.05
done
kill -INT $pid 2> /dev/null || true
status=0
wait $pid || status=$?
if [ $status -eq 0 ]; then
  echo "(the export ended before Ctrl-C reached it)"
  exit 0
fi
[ $status -eq 130 ] || { echo "Ctrl-C gave status $status"; cat "$work/log/c.err"; exit 1; }
grep -q "stopped; no file was left half-written" "$work/log/c.err"
leftovers=$(find "$work" -maxdepth 1 -name 'c.*' -o -maxdepth 1 -name '.c.*')
[ -z "$leftovers" ] || { echo "left behind: $leftovers"; exit 1; }
echo "progress shown, quiet, and stopped cleanly"
