# Steps run in the background while a script goes on, each with its output kept
# until finish_background prints it. The tests (most of which take the one
# loopback port in turn) and the fuzzer leave a core idle that such a step can
# use. Each step gets a process group of its own, so that a script that ends
# early stops the step and everything it started. Source it from the
# repository root; it sets the EXIT trap.

declare -A tavorin_background_pids=()
tavorin_background_logs=$(mktemp -d)

stop_background() {
  local pid
  for pid in "${tavorin_background_pids[@]}"; do
    kill -- "-$pid" 2>/dev/null || true
  done
  rm -rf "$tavorin_background_logs"
}
trap stop_background EXIT

# start_background NAME COMMAND [ARGUMENT...]
start_background() {
  local name=$1
  shift
  set -m
  "$@" >"$tavorin_background_logs/$name" 2>&1 &
  tavorin_background_pids[$name]=$!
  set +m
}

# Waits for the step NAME, prints its output and fails as it failed.
finish_background() {
  local name=$1 status=0
  wait "${tavorin_background_pids[$name]}" || status=$?
  unset "tavorin_background_pids[$name]"
  cat "$tavorin_background_logs/$name"
  return "$status"
}
