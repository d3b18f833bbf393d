#!/usr/bin/env bash
# Gathers a split cohort run: merges the part tables under WORK/parts into
# TABLE (and their logs into its log, in file-number order), and exits
# non-zero naming the file numbers whose task failed or never ran. A task's
# table and log are WORK/parts/N.txt and N.log (kestrane-tool run --each) or
# lie in WORK/parts/N/ under the table's own name (a run with --results).
#
#   scripts/batch/merge.sh TABLE WORK NUMBER...
set -uo pipefail
[ $# -ge 2 ] || { echo "Usage: $0 TABLE WORK NUMBER..." >&2; exit 2; }
table=$1
work=$2
shift 2
tool=${KESTRANE_TOOL:-$(cd "$(dirname "$0")/../.." && pwd)/build/tool/kestrane-tool}
name=$(basename "$table")
parts=()
failed=()
logs=()
for n in "$@"; do
  if [ -d "$work/parts/$n" ]; then
    part=$work/parts/$n/$name
  else
    part=$work/parts/$n.txt
  fi
  [ -f "$part" ] && parts+=("$part")
  [ -f "${part%.txt}.log" ] && logs+=("${part%.txt}.log")
  status=missing
  read -r status 2> /dev/null < "$work/parts/$n.status"
  [ "$status" = 0 ] || failed+=("$n")
done
status=0
if [ ${#parts[@]} -gt 0 ]; then
  "$tool" merge-results "$table" "${parts[@]}" || status=1
  [ ${#logs[@]} -eq 0 ] || cat "${logs[@]}" >> "${table%.txt}.log" || status=1
fi
if [ ${#failed[@]} -gt 0 ]; then
  echo "Failed file numbers: ${failed[*]}" >&2
  for n in "${failed[@]}"; do
    [ -f "$work/parts/$n.out" ] && sed "s/^/  $n: /" "$work/parts/$n.out" >&2
  done
  status=1
fi
exit $status
