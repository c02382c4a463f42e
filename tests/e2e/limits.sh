#!/usr/bin/env bash
# A start the system will not give enough address space (ulimit -v) or file descriptors
# (ulimit -n) says why on standard error and in a box, and ends with exit status 71 once the box
# is answered: no hang, no death by a signal, no silent empty player. With room enough, a
# limited address space plays as ever. Run it through tests/support/run-with-tray.sh.
#   limits.sh BIN_DIR MAKE_E2E_FILES
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../support/xsession.sh"
xsession_e2e limits "$1" "$2"
export SDL_AUDIODRIVER=dummy

# The program under a shell limit ("-v 150000"): $player_pid.
start_limited() {
  # shellcheck disable=SC2086
  (ulimit $1 && exec "$app/ostradivuvirar" "$work/first.ogg") >"$work/player.log" 2>&1 &
  player_pid=$!
}


for limit in "-v 150000" "-v 250000" "-v 500000" "-n 12"; do
  start_limited "$limit"
  wid="$(xsession_window '^OstraDivUvirar$' 30)" || fail "ulimit $limit: no message box"
  grep -q "足りません" "$work/player.log" || fail "ulimit $limit: no reason on standard error"
  xdotool windowactivate --sync "$wid" 2>/dev/null || xdotool windowfocus --sync "$wid"
  xdotool key Return
  xsession_await_end
  [ "$player_status" = running ] && fail "ulimit $limit: still running 10 s after the box was answered"
  [ "$player_status" = 71 ] || fail "ulimit $limit: exit status $player_status, not 71"
  echo "ulimit $limit: $(head -n1 "$work/player.log"), exit status 71"
done

# Room enough: the piece plays, and the program ends cleanly when asked.
start_limited "-v 1500000"
xsession_window '^\[1\] First$' 20 >/dev/null || fail "ulimit -v 1500000: the piece did not start playing"
xsession_signal_player TERM
[ "$player_status" = 0 ] || fail "ulimit -v 1500000: the program ended with status $player_status"
echo "ulimit -v 1500000: plays, and ends with status 0"
