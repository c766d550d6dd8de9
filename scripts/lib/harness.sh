# The simulated cloud and a virtual X server, for the scripts and window_e2e.sh.

# Runs the command every 50 ms until it succeeds, for at most 10 s.
wait_until() { for _ in $(seq 200); do "$@" && return 0; sleep 0.05; done; return 1; }

# start_cloud SIM_CLOUD PORT LOG [OPTION...]: starts the simulated cloud, its
# request log in LOG and its pid in cloud_pid, and waits until it listens.
start_cloud() {
  "$1" --port "$2" "${@:4}" >"$3.out" 2>"$3" &
  cloud_pid=$!
  wait_until grep -q listening "$3.out" && return 0
  echo "the simulated cloud did not start on port $2: $(cat "$3")" >&2
  stop_cloud
  return 1
}

stop_cloud() { kill "${cloud_pid:-}" 2>/dev/null || true; wait "${cloud_pid:-}" 2>/dev/null || true; cloud_pid=; }

# write_tokens FILE: the token pair the simulated cloud starts with, as the
# program keeps it.
write_tokens() { printf 'at=at-1\r\nrt=rt-1\r\n' >"$1"; }

# run_in_virtual_x SCRIPT [ARGUMENT...]: ends the caller by running the script
# (absolute path) in an X server of its own, TAVORIN_IN_XVFB=1, 150 s at most.
run_in_virtual_x() {
  exec timeout --kill-after=5 150 xvfb-run --auto-servernum --server-args="-screen 0 640x480x24 -nolisten tcp" \
    env TAVORIN_IN_XVFB=1 bash "$@"
}
