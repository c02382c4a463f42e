#!/usr/bin/env bash
# The real program (run it through tests/support/run-with-tray.sh) taking in what users have:
#   - started from another directory with a ".m3u8" (byte-order mark, names relative to the
#     playlist's own folder): its first entry plays;
#   - a folder on the command line: its first file in natural order ("2" before "10") plays;
#   - five files, one of them not Ogg Vorbis although named ".ogg": the four others are the
#     playlist (the third piece plays as entry 3, and the fourth is followed by entry 1), and
#     one message box is shown;
#   - a second start while the player runs (on the private session bus that dbus-run-session
#     gives): its names are appended, a bad one passed over and named, the first of the others
#     plays at once, and the list built so far stays; a hand-over with nothing playable in it
#     changes nothing.
#   intake.sh BIN_DIR MAKE_E2E_FILES                (under dbus-run-session)
set -euo pipefail
bin="$1"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
. "$here/../support/xsession.sh"
xsession_e2e intake "$bin" "$2"

# Each part starts as a new user would, without the list a part before it left.
end_player() {
  xsession_signal_player TERM
  [ "$player_status" = running ] && fail "the program is still running 10 s after SIGTERM"
  rm -f "$app/playlist.m3u8"
}

# The program's visible dialog windows (message boxes).
dialogs() {
  local wid n=0
  for wid in $(xdotool search --onlyvisible --pid "$player_pid" 2>/dev/null); do
    xprop -id "$wid" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q _NET_WM_WINDOW_TYPE_DIALOG && n=$((n + 1))
  done
  echo "$n"
}

export SDL_AUDIODRIVER=dummy

# 1. A .m3u8 written elsewhere, opened from another directory by a relative name.
mkdir -p "$work/lists/songs" "$work/elsewhere"
cp "$work/first.ogg" "$work/lists/songs/a.ogg"
cp "$work/second.ogg" "$work/lists/songs/b.ogg"
printf '\xef\xbb\xbf#EXTM3U\r\n#EXTINF:3,First\r\nsongs/a.ogg\r\nsongs\\b.ogg\r\n' >"$work/lists/mix.m3u8"
cd "$work/elsewhere"
xsession_start_player ../lists/mix.m3u8
cd "$work"
xsession_window '^\[1\] First$' 30 >/dev/null || fail "the .m3u8's first entry did not play"
echo "m3u8 from another directory: playing [1] First"
xsession_window '^\[2\] Second$' 20 >/dev/null || fail "the .m3u8's second entry (written with \\) did not follow"
echo "m3u8: [2] Second followed"
end_player

# 2. A folder: "2 two.ogg" comes before "10 ten.ogg".
mkdir -p "$work/album/bonus"
cp "$work/second.ogg" "$work/album/2 two.ogg"
cp "$work/first.ogg" "$work/album/10 ten.ogg"
cp "$work/rate48k.ogg" "$work/album/bonus/1.ogg"
echo "not music" >"$work/album/notes.txt"
# Named relative to the current directory, as a user types it.
cd "$work"
xsession_start_player album/
xsession_window '^\[1\] Second$' 30 >/dev/null || fail "the folder's first file in natural order did not play"
echo "folder: playing [1] Second (2 two.ogg)"
xsession_window '^\[2\] First$' 20 >/dev/null || fail "the folder's second file did not follow"
echo "folder: [2] First (10 ten.ogg) followed"
end_player

# 3. Five files, one an Ogg stream that is not Vorbis.
printf 'OggS\0\2\0\0\0\0\0\0\0\0\1\0\0\0\0\0\0\0\0\0\0\1\23OpusHead\1\2\0\0\200\273\0\0\0\0\0' >"$work/opus.ogg"
xsession_start_player "$work/first.ogg" "$work/second.ogg" "$work/opus.ogg" "$work/rate48k.ogg" "$work/mono22k.ogg"
xsession_window '^\[1\] First$' 30 >/dev/null || fail "the first of the five did not play"
for _ in $(seq 100); do [ "$(dialogs)" -ge 1 ] && break; sleep 0.1; done
sleep 1
n="$(dialogs)"
[ "$n" = 1 ] || fail "$n message boxes, not 1"
echo "five files: one message box"
xsession_window '^\[3\] Rate48k$' 20 >/dev/null || fail "the piece after the bad one is not entry 3"
echo "five files: playing [3] Rate48k"
xsession_window '^\[4\] Mono22k$' 20 >/dev/null || fail "the fourth entry did not follow"
xsession_window '^\[1\] First$' 20 >/dev/null || fail "entry 4 was not the last"
echo "five files: [4] Mono22k is the last entry, [1] First follows: four entries"
[ "$(dialogs)" = 1 ] || fail "more message boxes came"
end_player

# 4. Hand-over: the player holds one piece of 30 s (ten links of first.ogg); a second start brings
# a bad file, a piece and a playlist. The start ends, and the piece it brought plays as entry 2
# long before entry 1 would have ended.
[ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ] || fail "no session bus: run me under dbus-run-session"
printf '%s\n' "$work/mono22k.ogg" >"$work/handed.m3u8"
for _ in 1 2 3 4 5 6 7 8 9 10; do cat "$work/first.ogg"; done >"$work/long.ogg"
xsession_start_player "$work/long.ogg"
xsession_window '^\[1\] First$' 30 >/dev/null || fail "the player did not start"
start=$SECONDS
timeout 10 "$app/ostradivuvirar" "$work/opus.ogg" "$work/second.ogg" "$work/handed.m3u8" >"$work/hand.log" 2>&1 ||
  fail "the second start ended with status $? (124: still running after 10 s): $(cat "$work/hand.log")"
xsession_window '^\[2\] Second$' 15 >/dev/null || fail "the handed-over piece did not play at once"
echo "hand-over: playing [2] Second $((SECONDS - start)) s after the second start"
for _ in $(seq 100); do [ "$(dialogs)" -ge 1 ] && break; sleep 0.1; done
[ "$(dialogs)" = 1 ] || fail "$(dialogs) message boxes about the bad file handed over, not 1"
# Nothing playable handed over: the three entries stay, and no fourth comes.
status=0
timeout 10 "$app/ostradivuvirar" "$work/opus.ogg" "$work/album/notes.txt" >"$work/hand2.log" 2>&1 || status=$?
[ "$status" != 124 ] || fail "a start handing over nothing playable still runs after 10 s"
xsession_window '^\[3\] Mono22k$' 20 >/dev/null || fail "the playlist's entry 3 did not follow"
xsession_window '^\[1\] First$' 20 >/dev/null || fail "entry 3 was not the last after an empty hand-over"
echo "hand-over: [1] First kept, [3] Mono22k the last entry"
end_player
