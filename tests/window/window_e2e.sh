#!/usr/bin/env bash
# The real program in a real X server, against the simulated cloud: started
# without arguments it opens "Form1"; "info", pressed from the keyboard, and
# then a click on "on" each bring up a message box titled "Tavorin", which is
# dismissed; the activity log then holds the info report and both activity
# lines. Finally, with the cloud gone, a click on "off" ends the program with
# status 2 after its error box.
#
# Usage: window_e2e.sh PROGRAM SIM_CLOUD PORT
# PROGRAM is the Linux program, or the command that starts the Windows program
# under Wine: both windows answer to the same clicks and keys.
# Every wait below is bounded; the caller bounds the whole run as well.
set -euo pipefail

if [ -z "${TAVORIN_IN_XVFB:-}" ]; then
  exec xvfb-run --auto-servernum --server-args="-screen 0 640x480x24 -nolisten tcp" \
    env TAVORIN_IN_XVFB=1 bash "$0" "$@"
fi

program=$1 cloud=$2 port=$3
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
# Keep the toolkit off any session bus of the desktop the test is started from,
# and from trying to start one through the virtual X server.
export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent
export no_proxy=127.0.0.1

workdir=$(mktemp -d)
cleanup() {
  kill ${program_pid:-} ${cloud_pid:-} 2>/dev/null || true
  wait
  rm -rf "$workdir"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  tail -n +1 "$workdir"/*.err >&2
  exit 1
}

# Polls up to 10 s until the command succeeds.
wait_until() {
  for _ in $(seq 200); do
    "$@" && return 0
    sleep 0.05
  done
  return 1
}

# The one visible window with exactly this name; fails when none shows up.
find_window() {
  local id
  id=$(timeout 20 xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1)
  [ -n "$id" ] && echo "$id"
}
no_window() { ! xdotool search --onlyvisible --name "^$1\$" >/dev/null; }

# Clicks the middle of a button of the main window, given its left edge.
click_button() {
  xdotool mousemove --window "$window" $(($1 + 28)) 72 click 1
}

# Waits for the message box, presses its OK button with Return, and waits
# until it has gone.
dismiss_box() {
  local box
  box=$(find_window Tavorin) || fail "no message box titled Tavorin after the $1 click"
  xdotool windowfocus "$box" key Return
  wait_until no_window Tavorin || fail "the message box after the $1 click did not close"
}

"$cloud" --port "$port" --expired >"$workdir/cloud.out" 2>"$workdir/cloud.err" &
cloud_pid=$!
wait_until grep -q listening "$workdir/cloud.out" || fail "the simulated cloud did not start"

cd "$workdir"
# The toolkit wants a private runtime directory and says so on stderr otherwise.
mkdir -m 700 runtime
export XDG_RUNTIME_DIR=$workdir/runtime
printf 'at=at-1\r\nrt=rt-1\r\n' >tokens.txt
"$program" >"$workdir/program.out" 2>"$workdir/program.err" &
program_pid=$!

window=$(find_window Form1) || fail "the window Form1 did not open"
eval "$(xdotool getwindowgeometry --shell "$window")"
[ "$WIDTH" = 304 ] && [ "$HEIGHT" = 201 ] || fail "window is ${WIDTH}x${HEIGHT}, not 304x201"

# The keyboard: the focus starts on "on", and two tabs later the space bar
# presses "info".
xdotool windowfocus --sync "$window" key Tab Tab space
dismiss_box info
click_button 48    # on
dismiss_box on
kill -0 "$program_pid" 2>/dev/null || fail "the program ended after the clicks"

# The info report, its activity line and the one of the click on "on".
stamp='[0-9-]{10} [0-9:]{8}'
[[ $(cat Tavorin.log) =~ ^DeviceId\ :\ 1000c8441f$'\r\n'.*"Time     : "$stamp$'\r\n'$stamp\ DeviceId=1000c8441f\ Request=info\ Result=0$'\r\n'$stamp\ DeviceId=1000c8441f\ Request=on\ Result=1$'\r'$ ]] ||
  fail "Tavorin.log holds: $(cat Tavorin.log)"
[ "$(cat tokens.txt)" = $'at=at-2\r\nrt=rt-2\r' ] || fail "tokens.txt was not refreshed: $(cat tokens.txt)"
[ ! -s "$workdir/program.err" ] || fail "the program wrote to stderr"

# The error road: no cloud to answer.
kill "$cloud_pid"
wait "$cloud_pid" 2>/dev/null || true
cloud_pid=
log_before=$(cat Tavorin.log)
click_button 136   # off
dismiss_box off
wait_until eval '! kill -0 "$program_pid" 2>/dev/null' || fail "the program did not end after the error"
status=0
wait "$program_pid" || status=$?
program_pid=
[ "$status" = 2 ] || fail "exit status after the error is $status, not 2"
grep -q "^Tavorin: request to 127.0.0.1:$port failed" program.err || fail "no error message on stderr"
[ "$(cat Tavorin.log)" = "$log_before" ] || fail "the failed click wrote to Tavorin.log"
echo "window end-to-end: passed"
