#!/bin/sh
# kestrane-tool track against kestrane-devsim: the tracker is found and the
# requested number of valid poses is printed, one line each.
# usage: track_check.sh KESTRANE_TOOL KESTRANE_DEVSIM KIND DETECT
tool=$1 devsim=$2 kind=$3 detect=$4
log=$(mktemp)
trap 'kill $sim 2>/dev/null; rm -f "$log"' EXIT
. "$(dirname "$0")/devsim_port.sh"
start_devsim "$kind"
out=$(HOME=$(mktemp -d) "$tool" track "$port" --detect "$detect" --count 4) || { echo "$out"; exit 1; }
echo "$out"
echo "$out" | head -n 1 | grep -q "successfully initialised" || exit 1
[ "$(echo "$out" | grep -c '^probe [0-9.]* valid\( -\?[0-9]*\.[0-9]*\)\{6\}$')" -eq 4 ] || exit 1
