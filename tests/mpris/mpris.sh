#!/usr/bin/env bash
# The player on a private session bus, driven by playerctl as a desktop's media keys and sound
# menu drive it (run it through tests/support/run-with-tray.sh and dbus-run-session): status,
# pause and play, next, the title in UTF-8, position and seeking, volume, opening a URL, and the
# hand-over of a second start to the running player. SDL's disk driver captures the sound: silent
# while paused, half the amplitude at volume 0.5.
#   mpris.sh BIN_DIR MAKE_MPRIS_FILES
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
. "$here/../support/xsession.sh"
xsession_need playerctl dbus-send xdotool
[ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ] || { echo "mpris: run me under dbus-run-session" >&2; exit 1; }
xsession_init
xsession_sandbox "$1"
"$2" "$work"
fail() { xsession_fail "mpris: $*"; }
pc() { playerctl -p ostradivuvirar "$@" 2>/dev/null; }
# wait_for SECONDS COMMAND...: until the command succeeds.
wait_for() {
  local tries=$(($1 * 10)) _
  shift
  for _ in $(seq "$tries"); do "$@" && return 0; sleep 0.1; done
  return 1
}
is() { [ "$(pc "${@:2}")" = "$1" ]; }
root_property() {
  dbus-send --session --print-reply=literal --dest=org.mpris.MediaPlayer2.ostradivuvirar /org/mpris/MediaPlayer2 \
    org.freedesktop.DBus.Properties.Get string:org.mpris.MediaPlayer2 "string:$1" | sed 's/^ *variant *//'
}
call() {  # call BUS_NAME METHOD: a method of the root interface
  dbus-send --session --print-reply --dest="$1" /org/mpris/MediaPlayer2 "org.mpris.MediaPlayer2.$2" >/dev/null
}
# position_within LOW HIGH: the position now lies between the two, in seconds.
position_within() { python3 -c "import sys; sys.exit(not $1 <= float(sys.argv[1]) < $2)" "$(pc position)"; }
capture="$work/capture.raw"
size() { stat -c %s "$capture"; }
# capture_stats FROM TO: "PEAK ZERO" of the 16-bit samples between the two byte offsets.
capture_stats() {
  python3 - "$capture" "$1" "$2" <<'PY'
import array, sys
with open(sys.argv[1], "rb") as f:
    f.seek(int(sys.argv[2]) // 4 * 4)
    data = f.read((int(sys.argv[3]) - int(sys.argv[2])) // 4 * 4)
a = array.array("h", data)
print(max((abs(x) for x in a), default=0), "yes" if not any(a) else "no")
PY
}

# The loop count -1 kept from the last run (the repeat switch stays off at start-up): a plain file
# plays once, a looped piece whose loop is endless repeats for ever.
python3 - "$app/zkv108.info" <<'PY'
import struct, sys
open(sys.argv[1], "wb").write(struct.pack("<6i", 100, 100, 100, 300, -1, 10000) + bytes(264))
PY
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$capture" xsession_start_player "$work/forest.ogg" "$work/other.ogg"
wait_for 15 is Playing status || fail "the player did not appear on the bus playing"
echo "on the bus: $(playerctl -l | tr '\n' ' ')"
# What a client that only listens learns: the changes the player announces.
playerctl -p ostradivuvirar --follow status >"$work/follow-status" 2>/dev/null &
xsession_pids+=($!)
playerctl -p ostradivuvirar --follow metadata title >"$work/follow-title" 2>/dev/null &
xsession_pids+=($!)
sleep 0.5

[ "$(root_property Identity)" = OstraDivUvirar ] || fail "Identity is $(root_property Identity)"
[ "$(root_property DesktopEntry)" = io.github.ostradivuvirar.OstraDivUvirar ] || fail "DesktopEntry is $(root_property DesktopEntry)"
is "森の歌" metadata title || fail "the title is '$(pc metadata title)', not 森の歌"
is "file://$work/forest.ogg" metadata xesam:url || fail "the URL is $(pc metadata xesam:url)"
is 12000000 metadata mpris:length || fail "the length is $(pc metadata mpris:length)"
is Playlist loop || fail "the loop status is $(pc loop)"
is "Ａ, B" metadata artist || fail "the artists are '$(pc metadata artist)', not Ａ, B"
is Woods metadata album || fail "the album is '$(pc metadata album)'"
echo "Identity, DesktopEntry, title 森の歌, artists Ａ and B, album, URL, length 12 s, loop Playlist"
# LoopStatus reads Track while a loop plays endlessly: an endless container at the count -1; a
# container of finite repeats ends, and the list goes on.
pc open "file://$work/endless.qv"
wait_for 5 is Endless metadata title || fail "open endless.qv: the title is $(pc metadata title)"
wait_for 2 is Track loop || fail "an endless loop at the count -1: the loop status is $(pc loop)"
pc open "file://$work/finite.qv"
wait_for 5 is Finite metadata title || fail "open finite.qv: the title is $(pc metadata title)"
wait_for 2 is Playlist loop || fail "finite repeats at the count -1: the loop status is $(pc loop)"
for title in Endless Other 森の歌; do
  pc previous
  wait_for 5 is "$title" metadata title || fail "previous: the title is $(pc metadata title), not $title"
done
is Playlist loop || fail "back on a plain file the loop status is $(pc loop)"
echo "loop Track for an endless loop at the count -1, Playlist for finite repeats and a plain file"
# Set from the bus: Track repeats the piece for ever, None stops repeating, Playlist keeps that.
pc loop Track
wait_for 2 is Track loop || fail "after setting Track the loop status is $(pc loop)"
pc loop None
wait_for 2 is Playlist loop || fail "after setting None the loop status is $(pc loop)"
pc loop Playlist
sleep 0.3
is Playlist loop || fail "after setting Playlist the loop status is $(pc loop)"
introspection="$(dbus-send --session --print-reply=literal --dest=org.mpris.MediaPlayer2.ostradivuvirar \
  /org/mpris/MediaPlayer2 org.freedesktop.DBus.Introspectable.Introspect)"
python3 - "$introspection" <<'PY' || fail "Position is described as announced"
import re, sys
position = re.search(r'<property name="Position".*?(/>|</property>)', sys.argv[1], re.S).group(0)
assert 'EmitsChangedSignal" value="false"' in position, position
PY
echo "loop Track, None and Playlist set from the bus; Position described as never announced"

sleep 1.5
position="$(pc position)"
position_within 0.5 6 || fail "position $position after 1.5 s of play"
echo "position $position s"

# Paused, the device goes on writing, and writes silence.
pc pause
wait_for 5 is Paused status || fail "pause: the status is $(pc status)"
sleep 0.3
from=$(size); sleep 1.5; to=$(size)
[ $((to - from)) -gt 88200 ] || fail "the capture grew by only $((to - from)) bytes in 1.5 s of pause"
read -r peak silent < <(capture_stats "$from" "$to")
[ "$silent" = yes ] || fail "the capture holds sound (peak $peak) while paused"
echo "paused: $((to - from)) bytes of silence"
[ "$(dbus-send --session --print-reply=literal --dest=org.mpris.MediaPlayer2.ostradivuvirar /org/mpris/MediaPlayer2 \
  org.freedesktop.DBus.Properties.Get string:org.mpris.MediaPlayer2.Player string:CanSeek | awk '{print $NF}')" = true ] ||
  fail "CanSeek is not true while paused"
pc position 6
wait_for 2 position_within 5.9 6.6 || fail "a seek while paused left the position at $(pc position)"
echo "paused: CanSeek, and a seek to 6 s moves the position"

pc play-pause
wait_for 5 is Playing status || fail "play-pause did not resume: $(pc status)"
sleep 0.5
from=$(size); sleep 1; to=$(size)
read -r full _ < <(capture_stats "$from" "$to")
[ "$full" -gt 10000 ] || fail "after resuming the peak is only $full"
echo "resumed: peak $full"

pc volume 0.5
volume="$(pc volume)"
python3 -c "import sys; sys.exit(abs(float('$volume') - 0.5) > 0.001)" || fail "volume $volume after setting 0.5"
sleep 0.3
from=$(size); sleep 1; to=$(size)
read -r half _ < <(capture_stats "$from" "$to")
python3 -c "import sys; sys.exit(not 0.45 < $half / $full < 0.55)" || fail "at volume 0.5 the peak is $half against $full"
echo "volume $volume: peak $half against $full"

pc next
wait_for 5 is Other metadata title || fail "next: the title is $(pc metadata title)"
echo "next: Other"

# A seek is heard, and shown, at once: not after the two seconds already in the sound buffer.
pc position 8
wait_for 1 position_within 7.95 8.8 ||
  fail "a second after setting 8 s the position is $(pc position)"
# A step back further than the start goes to the start of the same piece.
pc position 20-
wait_for 1 position_within 0 0.8 ||
  fail "a second after a step back past the start the position is $(pc position)"
is Other metadata title || fail "a step back past the start changed the piece to $(pc metadata title)"
echo "position set to 8 s, then back to the start of the same piece, each shown at once"

pc open "file://$work/third.ogg"
wait_for 5 is Third metadata title || fail "open: the title is $(pc metadata title)"
is Playing status || fail "open: the status is $(pc status)"
echo "open: Third playing"

pc stop
wait_for 5 is Stopped status || fail "stop: the status is $(pc status)"
echo "stopped"

# The changes came as signals, in order.
python3 - "$work/follow-status" "$work/follow-title" <<'PY' || fail "the announced changes: $(tr '\n' ' ' <"$work/follow-status") / $(tr '\n' ' ' <"$work/follow-title")"
import sys
def seen_in_order(path, wanted):
    lines = [l.strip() for l in open(path, encoding="utf-8")]
    i = 0
    for l in lines:
        if i < len(wanted) and l == wanted[i]:
            i += 1
    return i == len(wanted)
sys.exit(not (seen_in_order(sys.argv[1], ["Playing", "Paused", "Playing", "Stopped"]) and
              seen_in_order(sys.argv[2], ["森の歌", "Other", "Third"])))
PY
echo "PropertiesChanged: Playing, Paused, Playing, Stopped; 森の歌, Other, Third"

# To the tray from the window's menu; a second start with a relative name hands it over, ends at
# once, and the running player plays it and shows its windows again.
wid="$(xsession_window 'Third')" || fail "no window titled Third"
eval "$(xdotool getwindowgeometry --shell "$wid")"
read -r face_x face_y < <(xsession_face_point)
for _ in 1 2 3; do
  xdotool mousemove $((X + face_x)) $((Y + face_y)) click 3
  sleep 1
  xdotool key t
  sleep 0.5
  xdotool search --onlyvisible --name 'Third' >/dev/null 2>&1 || break
  xdotool key Escape
done
xdotool search --onlyvisible --name 'Third' >/dev/null 2>&1 && fail "the windows did not go to the tray"
best=100000
for _ in 1 2 3; do
  start=$(date +%s%N)
  status=0
  (cd "$work" && SDL_AUDIODRIVER=dummy "$app/ostradivuvirar" handed.ogg) >>"$work/second.log" 2>&1 || status=$?
  ms=$((($(date +%s%N) - start) / 1000000))
  [ "$status" = 0 ] || fail "the second start ended with status $status"
  [ "$ms" -lt "$best" ] && best=$ms
done
[ "$best" -lt 300 ] || fail "the second start took $best ms at best to hand over"
wait_for 5 is Handed metadata title || fail "the handed name does not play: $(pc metadata title)"
xsession_window 'Handed' 5 >/dev/null || fail "the windows did not come back from the tray"
echo "hand-over: the second start ended with 0 after $best ms; Handed plays, the windows are back"

# --new-instance: a player of its own, under a name of its own.
SDL_AUDIODRIVER=dummy "$app/ostradivuvirar" --new-instance "$work/third.ogg" >"$work/new.log" 2>&1 &
new_pid=$!
xsession_pids+=("$new_pid")
wait_for 10 bash -c "playerctl -l | grep -qx ostradivuvirar.instance$new_pid" ||
  fail "--new-instance: no second player on the bus ($(playerctl -l | tr '\n' ' ')): $(cat "$work/new.log")"
call "org.mpris.MediaPlayer2.ostradivuvirar.instance$new_pid" Quit
wait_for 10 bash -c "! kill -0 $new_pid 2>/dev/null" || fail "--new-instance: Quit did not end the second player"
wait "$new_pid" || fail "--new-instance: the second player ended with an error"
echo "--new-instance: a second player on the bus, ended by Quit"

# A running player that does not answer: after a second the new start plays by itself.
kill -STOP "$player_pid"
SDL_AUDIODRIVER=dummy "$app/ostradivuvirar" "$work/third.ogg" >"$work/hung.log" 2>&1 &
hung_pid=$!
xsession_pids+=("$hung_pid")
sleep 1.5
kill -0 "$hung_pid" 2>/dev/null || { kill -CONT "$player_pid"; fail "with the running player stopped, the new start ended"; }
kill -CONT "$player_pid"
wait_for 10 bash -c "playerctl -l | grep -qx ostradivuvirar.instance$hung_pid" || fail "the new start is not on the bus"
call "org.mpris.MediaPlayer2.ostradivuvirar.instance$hung_pid" Quit
wait "$hung_pid" || fail "the player started beside a silent one ended with an error"
echo "a running player that does not answer: the new start played by itself"

# Without a session bus a start is a player of its own and says nothing about it.
env -u DBUS_SESSION_BUS_ADDRESS SDL_AUDIODRIVER=dummy "$app/ostradivuvirar" "$work/third.ogg" >"$work/nobus.log" 2>&1 &
nobus_pid=$!
xsession_pids+=("$nobus_pid")
sleep 1.5
kill -0 "$nobus_pid" 2>/dev/null || fail "without a bus the new start ended"
kill -TERM "$nobus_pid"
wait "$nobus_pid" || fail "the player without a bus ended with an error"
grep -qi dbus "$work/nobus.log" && fail "without a bus the player spoke of it: $(cat "$work/nobus.log")"
echo "no session bus: a player of its own, silently"

call org.mpris.MediaPlayer2.ostradivuvirar Quit
wait_for 10 bash -c "! kill -0 $player_pid 2>/dev/null" || fail "Quit did not end the player"
wait "$player_pid" || { player_pid=""; fail "the player ended with an error after Quit"; }
player_pid=""
level="$(python3 -c 'import struct, sys; print(struct.unpack_from("<i", open(sys.argv[1], "rb").read(), 20)[0])' "$app/zkv108.info")"
[ "$level" = 9398 ] || fail "the settings file holds the volume level $level, not 9398"
echo "Quit: ended with 0, volume level 9398 kept"
