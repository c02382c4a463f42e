#!/usr/bin/env bash
# Starts of the real program (run it through tests/support/run-with-tray.sh), as a user makes them
# day after day, with the playlist the program keeps between runs:
#   - the very first start, without names: an empty player whose title says how music gets in;
#   - a start with a piece, then one with another: the second is added to the kept list and
#     plays as entry 2, and the list keeps both in order;
#   - quit while it plays, start without names: the piece plays on from where it was;
#   - paused with Space, quit, start without names: it waits, paused at the same place.
#   start-rule.sh BIN_DIR MAKE_E2E_FILES [SHOT.png]   (SHOT: the empty player's face)
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../support/xsession.sh"
xsession_e2e start-rule "$1" "$2"
export SDL_AUDIODRIVER=dummy
kept="$app/playlist.m3u8"

quit() {
  xsession_signal_player TERM
  [ "$player_status" = 0 ] || fail "$1: the program ended with status $player_status"
}
# The kept place and state ("4.123 playing"), empty when none was kept.
resume() { sed -n 's/^#OSTRADIVUVIRAR-RESUME:\([0-9.]*\),\([a-z]*\).*$/\1 \2/p' "$kept"; }
entries() { grep -v '^#' "$kept" | tr -d '\r' | xargs -r -d '\n' -n1 basename | paste -sd ' '; }

# 1. The first start: an empty face that says how to add music.
xsession_start_player
wid="$(xsession_window '^OstraDivUvirar$' 20)" || fail "the empty player did not appear"
sleep 1.5
eval "$(xdotool getwindowgeometry --shell "$wid")"
import -window root "$work/root.png"
convert "$work/root.png" -crop "${WIDTH}x${HEIGHT}+$X+$Y" +repage "${3:-$work/empty.png}"
quit "empty"
[ -f "$kept" ] && [ -z "$(entries)" ] || fail "the empty run kept entries: $(cat "$kept")"
echo "first start: an empty player, an empty kept list"

# 2. Two starts with names: added, never replaced.
xsession_start_player "$work/second.ogg"
xsession_window '^\[1\] Second$' 20 >/dev/null || fail "the first start's piece did not play"
quit "first name"
xsession_start_player "$work/long.ogg"
xsession_window '^\[2\] Long$' 20 >/dev/null || fail "the second start's piece did not play as entry 2"
sleep 4
quit "second name"
[ "$(entries)" = "second.ogg long.ogg" ] || fail "the kept list is '$(entries)', not 'second.ogg long.ogg'"
read -r at state <<<"$(resume)"
[ "$state" = playing ] || fail "no playing place kept: $(cat "$kept")"
python3 -c "import sys; sys.exit(not 3.0 <= float('$at') <= 6.5)" || fail "the kept place $at is not about 4 s in"
echo "names at two starts: the kept list is second.ogg, long.ogg; quit at $at s"

# 3. A start without names plays on from the place kept.
xsession_start_player
wid="$(xsession_window '^\[2\] Long$' 20)" || fail "a start without names did not play the kept piece"
sleep 2
quit "resumed"
read -r at2 state <<<"$(resume)"
python3 -c "import sys; sys.exit(not float('$at') + 1.0 <= float('$at2') <= float('$at') + 4.5)" ||
  fail "resumed at $at, quit at $at2: it did not go on from its place"
echo "a start without names: played on from $at s to $at2 s"

# 4. Paused with Space: quit, start again, and it waits at its place.
xsession_start_player
wid="$(xsession_window '^\[2\] Long$' 20)" || fail "the kept piece did not come back"
sleep 1
xdotool windowfocus --sync "$wid" key space
sleep 1
quit "paused"
read -r at3 state <<<"$(resume)"
[ "$state" = paused ] || fail "the pause was not kept: $(cat "$kept")"
xsession_start_player
xsession_window '^\[2\] Long$' 20 >/dev/null || fail "the paused piece did not come back"
sleep 2
quit "still paused"
read -r at4 state <<<"$(resume)"
[ "$state" = paused ] && [ "$at4" = "$at3" ] || fail "paused at $at3, came back as '$at4 $state'"
echo "paused at $at3 s: came back paused there"
