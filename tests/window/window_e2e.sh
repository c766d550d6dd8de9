#!/usr/bin/env bash
# The real program without arguments in a real X server, against the simulated
# cloud: "info" pressed from the keyboard and "on" clicked each show a box, the
# line below the buttons empty; "on" once the cloud refuses the refresh shows a
# box of the same size (the bare 5) with that line drawn behind it; with the
# cloud gone, "off" ends the program with status 2 after its error box. The
# Linux program, stopped by SIGTERM while the cloud holds back the new pair of
# a click's refresh, saves the pair and then ends by the signal.
# Usage: window_e2e.sh PROGRAM SIM_CLOUD PORT, where PROGRAM may be the command
# that starts the Windows program under Wine; TAVORIN_E2E_EMULATOR, when set,
# is the command that runs PROGRAM (a program for another processor). Every
# wait is bounded.
set -euo pipefail
source "$(dirname "$(realpath "$0")")/../../scripts/lib/harness.sh"
[ -n "${TAVORIN_IN_XVFB:-}" ] || run_in_virtual_x "$(realpath "$0")" "$@"

program=$1 cloud=$2 port=$3
shot=$(dirname "$cloud")/../window-shot/window-shot # built beside the simulated cloud
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
# Keep the toolkit off any session bus, and from starting one on this display.
export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent no_proxy=127.0.0.1
workdir=$(mktemp -d)
trap 'kill ${program_pid:-} ${cloud_pid:-} 2>/dev/null || true; wait; rm -rf "$workdir"' EXIT
cd "$workdir"

fail() {
  echo "FAIL: $*" >&2
  tail -n +1 ./*.err >&2
  exit 1
}

# The one visible window with exactly this name; fails when none shows up.
find_window() {
  local id
  id=$(timeout 20 xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1)
  [ -n "$id" ] && echo "$id"
}
no_box() { ! xdotool search --onlyvisible --name "^Tavorin\$" >/dev/null; }

# Presses the message box's OK button with Return and waits until it has gone;
# first keeps the box's size in box_size and runs the rest, if any, as a check.
dismiss_box() {
  local box
  box=$(find_window Tavorin) || fail "no message box titled Tavorin after $1"
  box_size=$(xdotool getwindowgeometry "$box" | grep Geometry)
  [ $# = 1 ] || "${@:2}" || fail "${*:2} failed with the box after $1"
  xdotool windowfocus "$box" key Return
  wait_until no_box || fail "the message box after $1 did not close"
}

# Starts the program without arguments, under its emulator if there is one.
start_program() {
  ${TAVORIN_E2E_EMULATOR:+"$TAVORIN_E2E_EMULATOR"} "$program" >program.out 2>program.err &
  program_pid=$!
}

# Clicks the middle of a button of the main window, given its left edge.
click() { xdotool mousemove --window "$window" $(($1 + 28)) 72 click 1; }
# The reason line below the buttons (the box is clear of it) as $1.png; shown once not empty.
reason_shot() { "$shot" "$window" "$1.png" 8 97 288 96; }
reason_shown() { reason_shot now && ! cmp -s now.png empty.png; }

start_cloud "$cloud" "$port" cloud.err --expired || fail "the simulated cloud did not start"
# The toolkit wants a private runtime directory and says so on stderr otherwise.
mkdir -m 700 runtime
export XDG_RUNTIME_DIR=$workdir/runtime
write_tokens tokens.txt
start_program

window=$(find_window Form1) || fail "the window Form1 did not open"
eval "$(xdotool getwindowgeometry --shell "$window")"
[ "$WIDTH" = 304 ] && [ "$HEIGHT" = 201 ] || fail "window is ${WIDTH}x${HEIGHT}, not 304x201"
# The focus starts on "on", and two tabs later the space bar presses "info".
xdotool windowfocus --sync "$window" key Tab Tab space
dismiss_box info reason_shot empty
bare_box=$box_size
click 48 # on
dismiss_box on
stamp='[0-9-]{10} [0-9:]{8}'
[[ $(cat Tavorin.log) =~ ^DeviceId\ :\ 1000c8441f$'\r\n'.*"Time     : "$stamp$'\r\n'$stamp\ DeviceId=1000c8441f\ Request=info\ Result=0$'\r\n'$stamp\ DeviceId=1000c8441f\ Request=on\ Result=1$'\r'$ ]] ||
  fail "Tavorin.log holds: $(cat Tavorin.log)"
[ "$(cat tokens.txt)" = $'at=at-2\r\nrt=rt-2\r' ] || fail "tokens.txt was not refreshed: $(cat tokens.txt)"
[ ! -s program.err ] || fail "the program wrote to stderr"

# A cloud that knows none of the saved pair: the refresh token is refused.
stop_cloud
start_cloud "$cloud" "$port" cloud.err || fail "the simulated cloud did not start again"
click 48 # on
dismiss_box "the refused refresh" wait_until reason_shown
[[ $(tail -n 1 Tavorin.log) == *" Request=on Result=5"$'\r' ]] || fail "the click did not end with 5: $(tail -n 1 Tavorin.log)"
[ "$box_size" = "$bare_box" ] || fail "the box after 5 ($box_size) is not the size of the box after 0 ($bare_box)"

# The error road: no cloud to answer.
stop_cloud
log_before=$(cat Tavorin.log)
click 136 # off
dismiss_box off
status=0
timeout 10 tail --pid="$program_pid" -f /dev/null || fail "the program did not end after the error"
wait "$program_pid" || status=$?
program_pid=
[ "$status" = 2 ] || fail "exit status after the error is $status, not 2"
grep -q "^Tavorin: request to 127.0.0.1:$port failed" program.err || fail "no error message on stderr"
[ "$(cat Tavorin.log)" = "$log_before" ] || fail "the failed click wrote to Tavorin.log"

# Under Wine, SIGTERM stands for TerminateProcess, which nothing can hold.
if [[ $program != *-under-wine ]]; then
  start_cloud "$cloud" "$port" cloud.err --expired --delay 1000 || fail "the simulated cloud did not start again"
  write_tokens tokens.txt
  start_program
  window=$(find_window Form1) || fail "the window Form1 did not open again"
  click 48 # on
  wait_until grep -q "POST /v2/user/refresh" cloud.err || fail "the click did not refresh the token"
  kill -TERM "$program_pid"
  status=0
  wait "$program_pid" || status=$?
  program_pid=
  [ "$status" = 143 ] || fail "stopped during the refresh, the window ended with $status, not by SIGTERM"
  [ "$(cat tokens.txt)" = $'at=at-2\r\nrt=rt-2\r' ] || fail "the new pair was lost: $(cat tokens.txt)"
fi
echo "window end-to-end: passed"
