#!/usr/bin/env bash
# One table whatever runs the script: kestrane -sc, kestrane-tool run, GNU
# parallel and (where a controller answers) a Slurm job array write the same
# bytes for the same script and cohort (recordings of different sizes beside
# a stray image data file and text).
#   one_table_check.sh KESTRANE TOOL WORK BATCH_DIR
set -euo pipefail
app=$1 tool=$2 work=$3 batch=$4
rm -rf "$work"
mkdir -p "$work/data" "$work/settings" "$work/tables"
for i in 1 2 3; do
  "$tool" make-demo "$work/demo$i" --frames $((3 * i)) --size $((32 * i))x48 > /dev/null
  sed "s/^RES_BIN_IM_FILENAME kestrane_demo.kvi/RES_BIN_IM_FILENAME r$i.kvi/" "$work/demo$i/kestrane_demo.ks" > "$work/data/r$i.ks"
  cp "$work/demo$i/kestrane_demo.kvi" "$work/data/r$i.kvi"
done
cp "$work/demo1/kestrane_demo.kvi" "$work/data/stray.kvi"
echo "not a recording" > "$work/data/notes.txt"
printf 'script_name cohort\nwrite_header RES_BUF_FRAMES RES_BUF_WIDTH RES_XSCALE\nopen data\nwrite "as, read"\nparam RES_XSCALE 0.02\nfunc OFFSET_REVIEW 1\nwrite scaled\n' > "$work/run.txt"

take() {  # moves the table just written aside under the path's name
  mv "$work/data/cohort.txt" "$work/tables/$1.txt"
  rm -f "$work/data/cohort.log"
}
"$tool" run "$work/run.txt" > /dev/null
take tool
KESTRANE_EXIT_AFTER_START= "$app" "dir=$work/settings" -sc "$work/run.txt" > /dev/null 2>&1
take sc
KESTRANE_TOOL=$tool "$batch/parallel.sh" "$work/run.txt" "$work/data" -j 2
take parallel
paths="sc parallel"
if scontrol ping > /dev/null 2>&1; then
  merge=$(KESTRANE_TOOL=$tool "$batch/submit.sh" "$work/run.txt" "$work/data" --work "$work/slurm")
  for _ in $(seq 600); do
    state=$(scontrol show job "$merge" 2> /dev/null | sed -n 's/.*JobState=\([A-Z_]*\).*/\1/p')
    case $state in COMPLETED | FAILED | CANCELLED | TIMEOUT) break ;; esac
    sleep 1
  done
  [ "$state" = COMPLETED ] || { echo "the Slurm merge job ended $state"; exit 1; }
  take slurm
  paths="$paths slurm"
else
  echo "no Slurm controller reachable: the Slurm path is not compared"
fi
grep -q '^3,.*,"r3_cohort_as, read",(none),9,96,' "$work/tables/tool.txt" || { cat "$work/tables/tool.txt"; exit 1; }
for p in $paths; do
  cmp "$work/tables/tool.txt" "$work/tables/$p.txt"
done
echo "one table from: tool $paths"
