#!/usr/bin/env bash
# Runs a script over a cohort of recordings with GNU parallel, one recording
# a task: each task writes its own part table, log and status, and the parts
# are merged into the table one serial run would write. Exits non-zero,
# naming the file numbers that failed, when any task failed. Each process
# takes a few tasks in turn (kestrane-tool run --each): starting a process
# costs a third of a small recording's work; two handfuls a job slot
# keep the slots evenly busy.
#
#   scripts/batch/parallel.sh SCRIPT DIR [-j N]
#
# KESTRANE_TOOL names the kestrane-tool to use (default: this checkout's build).
set -uo pipefail

usage() {
  echo "Usage: $0 SCRIPT DIR [-j N]" >&2
  exit 2
}
[ $# -ge 2 ] || usage
script=$1
dir=$2
shift 2
jobs=$(nproc)
while [ $# -gt 0 ]; do
  case $1 in
    -j) [ $# -ge 2 ] || usage; jobs=$2; shift 2 ;;
    *) usage ;;
  esac
done
tool=${KESTRANE_TOOL:-$(cd "$(dirname "$0")/../.." && pwd)/build/tool/kestrane-tool}
command -v parallel > /dev/null || { echo "GNU parallel is not installed (Debian package 'parallel')." >&2; exit 2; }

listing=$("$tool" run "$script" "$dir" --list) || exit 1
table=$(printf '%s\n' "$listing" | sed -n 's/^# results //p')
mapfile -t numbers < <(printf '%s\n' "$listing" | awk -F '\t' '/^[0-9]+\t/ { print $1 }')
[ ${#numbers[@]} -gt 0 ] || { echo "No recordings to process." >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrane-batch.XXXXXX")
trap 'rm -rf "$work"' EXIT
export tool script dir work
[ "$jobs" -ge 1 ] 2> /dev/null || usage
per_process=$(( (${#numbers[@]} + 2 * jobs - 1) / (2 * jobs) ))
# A process that dies leaves its remaining tasks without a status: merge.sh names them.
parallel --will-cite -j "$jobs" -n "$per_process" \
  'set -- {}; IFS=,; "$tool" run "$script" "$dir" --files "$*" --each "$work/parts" > /dev/null 2>&1' \
  ::: "${numbers[@]}"
KESTRANE_TOOL=$tool "$(dirname "$0")/merge.sh" "$table" "$work" "${numbers[@]}"
