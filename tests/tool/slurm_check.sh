#!/usr/bin/env bash
# The Slurm path against a serial run: a cohort of demo recordings submitted
# as a job array with its merge job, the merged table compared byte for byte
# with the serial one's. Skipped (77) where no Slurm controller answers.
#   slurm_check.sh TOOL WORK BATCH_DIR
set -euo pipefail
tool=$1 work=$2 batch=$3
if ! scontrol ping > /dev/null 2>&1; then
  echo "no Slurm controller reachable"
  exit 77
fi
rm -rf "$work"
mkdir -p "$work/data"
for i in 1 2 3; do
  "$tool" make-demo "$work/demo$i" --frames $((3 + i)) --size 64x48 > /dev/null
  sed "s/^RES_BIN_IM_FILENAME kestrane_demo.kvi/RES_BIN_IM_FILENAME r$i.kvi/" "$work/demo$i/kestrane_demo.ks" > "$work/data/r$i.ks"
  cp "$work/demo$i/kestrane_demo.kvi" "$work/data/r$i.kvi"
done
printf 'script_name cohort\nwrite_header RES_BUF_FRAMES\nopen data\nwrite done\n' > "$work/run.txt"
"$tool" run "$work/run.txt" > /dev/null
mv "$work/data/cohort.txt" "$work/serial.txt"
rm -f "$work/data/cohort.log"
merge=$(KESTRANE_TOOL=$tool "$batch/submit.sh" "$work/run.txt" "$work/data" --throttle 2)
for _ in $(seq 600); do
  state=$(scontrol show job "$merge" 2> /dev/null | sed -n 's/.*JobState=\([A-Z_]*\).*/\1/p')
  case $state in COMPLETED | FAILED | CANCELLED | TIMEOUT) break ;; esac
  sleep 1
done
[ "$state" = COMPLETED ] || { echo "the merge job ended $state"; cat "$work/data/cohort.parts/merge.out" || true; exit 1; }
cmp "$work/serial.txt" "$work/data/cohort.txt"
echo "the Slurm run's table equals the serial run's"
