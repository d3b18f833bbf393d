# Sourced by the checks that run kestrane-devsim: starts it with the given
# arguments, its output in $log, and sets $sim (its process) and $port (the
# pseudo-terminal it prints), or fails after 5 s.
start_devsim() {
  "$devsim" "$@" >"$log" 2>&1 &
  sim=$!
  for _ in $(seq 50); do
    port=$(grep -o '/dev/pts/[0-9]*' "$log" | head -n 1)
    [ -n "$port" ] && return 0
    sleep 0.1
  done
  echo "no port from kestrane-devsim"; cat "$log"; exit 1
}
