#!/usr/bin/env bash
# One player per desktop session, on a private session bus (run it through
# tests/support/run-with-tray.sh and dbus-run-session): five starts at the same instant, each with
# a file of its own, end with one player whose playlist holds the five; a start that gives up on
# a stopped player plays its file itself, and the stopped player, once it runs again, does not.
#   one-player.sh BIN_DIR MAKE_MPRIS_FILES
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
. "$here/../support/xsession.sh"
xsession_need playerctl dbus-send
[ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ] || { echo "one-player: run me under dbus-run-session" >&2; exit 1; }
xsession_init
xsession_sandbox "$1"
"$2" "$work"
fail() { tail -n +1 "$work"/*.log >&2; xsession_fail "one-player: $*"; }
pc() { playerctl -p ostradivuvirar "$@" 2>/dev/null; }
wait_for() {  # wait_for SECONDS COMMAND...: until the command succeeds
  local tries=$(($1 * 10)) _
  shift
  for _ in $(seq "$tries"); do "$@" && return 0; sleep 0.1; done
  return 1
}
alive() { local n=0 pid; for pid in "$@"; do kill -0 "$pid" 2>/dev/null && n=$((n + 1)); done; echo "$n"; }
# cycle: the titles met going "next" from the current entry until the first comes round again
# (at most 7 steps), one a line.
cycle() {
  local first title prev _
  first="$(pc metadata title)"
  title="$first"
  echo "$first"
  for _ in 1 2 3 4 5 6 7; do
    prev="$title"
    pc next
    wait_for 5 bash -c '[ "$(playerctl -p ostradivuvirar metadata title 2>/dev/null)" != "$1" ]' _ "$prev" || return 1
    title="$(pc metadata title)"
    [ "$title" = "$first" ] && return 0
    echo "$title"
  done
  return 1
}
race_titles="$(printf 'Race %s\n' 1 2 3 4 5)"

# Five starts at once: one takes the player's name, the other four hand their files to it (the
# winner may still be making its windows) and end with 0.
pids=()
for n in 1 2 3 4 5; do
  SDL_AUDIODRIVER=dummy "$app/ostradivuvirar" "$work/race$n.ogg" >"$work/race$n.log" 2>&1 &
  pids+=($!)
  xsession_pids+=($!)
done
one_left() { [ "$(alive "${pids[@]}")" -le 1 ]; }
wait_for 20 one_left ||
  fail "$(alive "${pids[@]}") of five starts at once still run after 20 s: $(playerctl -l | tr '\n' ' ')"
for pid in "${pids[@]}"; do
  if kill -0 "$pid" 2>/dev/null; then
    player_pid=$pid
  else
    wait "$pid" || fail "a start that handed its file over ended with status $?"
  fi
done
[ -n "$player_pid" ] || fail "no start of the five became the player"
wait_for 10 bash -c '[ "$(playerctl -p ostradivuvirar status 2>/dev/null)" = Playing ]' ||
  fail "the one player is not playing: $(pc status)"
# A start ends on the player's answer; the player takes the names in just after it.
sleep 1
[ "$(playerctl -l | tr '\n' ' ')" = "ostradivuvirar " ] || fail "on the bus: $(playerctl -l | tr '\n' ' ')"
titles="$(cycle)" || fail "next did not come round to the first entry: $(echo "$titles" | tr '\n' ',')"
[ "$(sort <<<"$titles")" = "$race_titles" ] || fail "the playlist holds $(echo "$titles" | tr '\n' ',')"
current="$(pc metadata title)"
echo "five starts at once: one player (pid $player_pid), its playlist $(echo "$titles" | tr '\n' ',')"

# The player stopped: a start waits a second for it, withdraws its offer and plays by itself.
kill -STOP "$player_pid"
SDL_AUDIODRIVER=dummy "$app/ostradivuvirar" "$work/handed.ogg" >"$work/gave-up.log" 2>&1 &
gave_up=$!
xsession_pids+=("$gave_up")
wait_for 10 bash -c "playerctl -l | grep -qx ostradivuvirar.instance$gave_up" ||
  { kill -CONT "$player_pid"; fail "the start beside a stopped player is not on the bus: $(cat "$work/gave-up.log")"; }
kill -CONT "$player_pid"
sleep 1
dbus-send --session --print-reply --dest="org.mpris.MediaPlayer2.ostradivuvirar.instance$gave_up" \
  /org/mpris/MediaPlayer2 org.mpris.MediaPlayer2.Quit >/dev/null
wait_for 10 bash -c "! kill -0 $gave_up 2>/dev/null" || fail "the start that gave up did not end on Quit"
wait "$gave_up" || fail "the start that gave up ended with an error"
# Had the first player taken the withdrawn file, it would play it now and hold six entries.
[ "$(pc metadata title)" = "$current" ] || fail "after it ran again the first player plays $(pc metadata title)"
titles="$(cycle)" || fail "next did not come round to the first entry: $(echo "$titles" | tr '\n' ',')"
[ "$(sort <<<"$titles")" = "$race_titles" ] || fail "the withdrawn file was taken: $(echo "$titles" | tr '\n' ',')"
echo "a start beside a stopped player played by itself; the first, running again, kept its five"
