#!/usr/bin/env bash
# Submits a script's run over a cohort to Slurm as job arrays, one recording
# a task (array index = file number, less an offset where the numbers pass
# the cluster's MaxArraySize), at most THROTTLE running at once, and a merge
# job that runs after all of them (afterany) and gathers the part tables
# into the table one serial run would write. Prints the merge job's id.
#
#   scripts/batch/submit.sh SCRIPT DIR [--throttle N] [--work DIR] [-- SBATCH_OPTION...]
set -euo pipefail
usage() {
  echo "Usage: $0 SCRIPT DIR [--throttle N] [--work DIR] [-- SBATCH_OPTION...]" >&2
  exit 2
}
[ $# -ge 2 ] || usage
script=$(realpath "$1")
dir=$(realpath "$2")
shift 2
throttle=50
work=
while [ $# -gt 0 ]; do
  case $1 in
    --throttle) [ $# -ge 2 ] || usage; throttle=$2; shift 2 ;;
    --work) [ $# -ge 2 ] || usage; work=$(realpath -m "$2"); shift 2 ;;
    --) shift; break ;;
    *) usage ;;
  esac
done
here=$(cd "$(dirname "$0")" && pwd)
tool=${KESTRANE_TOOL:-$(cd "$here/../.." && pwd)/build/tool/kestrane-tool}
listing=$("$tool" run "$script" "$dir" --list)
table=$(printf '%s\n' "$listing" | sed -n 's/^# results //p')
mapfile -t numbers < <(printf '%s\n' "$listing" | awk -F '\t' '/^[0-9]+\t/ { print $1 }')
[ ${#numbers[@]} -gt 0 ] || { echo "No recordings to process." >&2; exit 1; }
# Shared between the nodes: beside the results unless named.
work=${work:-$(dirname "$table")/$(basename "${table%.txt}").parts}
mkdir -p "$work/parts"

max=$(scontrol show config 2> /dev/null | awk '$1 == "MaxArraySize" { print $3 }')
max=${max:-1001}
# Numbers grouped into arrays whose indices stay below MaxArraySize.
jobs=()
i=0
while [ $i -lt ${#numbers[@]} ]; do
  offset=$(( numbers[i] - 1 ))
  indices=()
  while [ $i -lt ${#numbers[@]} ] && [ $(( numbers[i] - offset )) -lt "$max" ]; do
    indices+=($(( numbers[i] - offset )))
    i=$((i + 1))
  done
  ids=$(IFS=,; echo "${indices[*]}")
  id=$(sbatch --parsable --array="$ids%$throttle" \
    --export=ALL,KESTRANE_TOOL="$tool",SCRIPT="$script",DIR="$dir",WORK="$work",OFFSET="$offset" \
    "$@" "$here/kestrane-array.sbatch")
  jobs+=("${id%%;*}")
done
dependency=afterany:$(IFS=:; echo "${jobs[*]}")
sbatch --parsable --dependency="$dependency" --job-name=kestrane-merge --output="$work/merge.out" \
  --export=ALL,KESTRANE_TOOL="$tool" "$@" \
  --wrap="$(printf '%q ' "$here/merge.sh" "$table" "$work" "${numbers[@]}")"
