#!/usr/bin/env bash
# SIGTERM, SIGHUP and SIGINT end the real program (run it through tests/support/run-with-tray.sh)
# as "終了(&X)" does: exit status 0, and the settings file written with what changed in the run,
# here the window's place, moved by the window system while a piece plays. A settings file that
# cannot be written is then reported on standard error, not in a box that would keep the program
# from ending. A start without names then plays on the playlist the last run ended with.
#   signals.sh BIN_DIR MAKE_E2E_FILES
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../support/xsession.sh"
xsession_e2e signals "$1" "$2"
export SDL_AUDIODRIVER=dummy

x=100
for sig in TERM HUP INT; do
  x=$((x + 40))
  # Names given at a start are added to the kept list: each round starts without one.
  rm -f "$app/playlist.m3u8"
  xsession_start_player "$work/first.ogg"
  wid="$(xsession_window '^\[1\] First$' 20)" || fail "SIG$sig: the piece did not start playing"
  xdotool windowmove --sync "$wid" "$x" 70
  # --sync waits for the X server; the program learns its new place from the event that
  # follows, which a loaded machine may deliver a little later.
  sleep 1
  xsession_signal_player "$sig"
  [ "$player_status" = running ] && fail "SIG$sig: the program is still running after 10 s"
  [ "$player_status" = 0 ] || fail "SIG$sig: the program ended with status $player_status"
  place="$(python3 -c 'import struct, sys; print("%d,%d" % struct.unpack_from("<2i", open(sys.argv[1], "rb").read()))' "$app/zkv108.info")"
  [ "$place" = "$x,70" ] || fail "SIG$sig: the settings file holds the place $place, not $x,70"
  echo "SIG$sig: exit status 0, the settings file holds the place $x,70"
done

# A start without names takes back the list the last run ended with, and plays on, as the piece
# was playing then.
xsession_start_player
xsession_window '^\[1\] First$' 20 >/dev/null || fail "a start without names did not play the kept playlist on"
xsession_signal_player TERM
grep -q "first.ogg" "$app/playlist.m3u8" || fail "the kept playlist lost its entry: $(cat "$app/playlist.m3u8")"
echo "a start without names: the kept playlist plays on at [1] First"

# An installed copy whose configuration folder is a file: writing the settings fails at the end.
touch "$app/installed"
echo "not a folder" >"$work/config-file"
XDG_CONFIG_HOME="$work/config-file" xsession_start_player "$work/first.ogg"
xsession_window '^\[1\] First$' 20 >/dev/null || fail "unwritable settings: the piece did not start playing"
begun=$SECONDS
xsession_signal_player TERM
[ "$player_status" = running ] && fail "unwritable settings: the program is still running after 10 s"
[ "$player_status" = 0 ] || fail "unwritable settings: the program ended with status $player_status"
[ $((SECONDS - begun)) -le 3 ] || fail "unwritable settings: the program took $((SECONDS - begun)) s to end"
grep -q "を保存できませんでした" "$work/player.log" || fail "unwritable settings: nothing said on standard error"
[ "$(cat "$work/config-file")" = "not a folder" ] || fail "unwritable settings: the file in the folder's place changed"
echo "unwritable settings: SIGTERM ends the program at once, the failure on standard error"
