# shellcheck shell=bash
# The real program on a private X server, for the scripts that run it (the tray and program
# tests, the end-to-end test, the screenshots, the whole-program measurements). Source it, then:
#
#   xsession_need TOOL...          stop with a message when a tool is missing
#   xsession_init                  $work: a new temporary directory; everything started from here
#                                  on is stopped, and $work removed, when the script exits
#                                  (kept, for a look after a failure, when XSESSION_KEEP is set)
#   xsession_private_pulse         the environment of a private PulseAudio server in $work
#   xsession_start_x [SCREEN [ARG...]]
#                                  a private Xvfb (SCREEN default 800x600x24, ARGs for Xvfb);
#                                  exports DISPLAY
#   xsession_start_tray            trayer as the notification area, at the top edge
#   xsession_sandbox BIN_DIR       $app: a program directory of the script's own, with the program,
#                                  the decoder library and the skins copied from BIN_DIR, so the
#                                  settings file of the build stays untouched
#   xsession_start_player [ARG...] the program from $app (in the caller's environment: SDL's
#                                  audio driver and the like); $player_pid, its output in
#                                  $work/player.log
#   xsession_window PATTERN [SECONDS]
#                                  prints the id of the visible window whose title matches
#   xsession_face_point            prints "x y": a face pixel of $app's default skin, not
#                                  key-coloured and away from the buttons, for a right-click
#   xsession_quit_from_menu WIN_X WIN_Y FACE_X FACE_Y
#                                  right-clicks the face and chooses "終了(&X)" from the window's
#                                  menu; fails unless the program ends cleanly
#   xsession_fail MESSAGE          shows the message and the program's output, and exits
# Anything else the script starts in the background is stopped at exit too once its process id
# is added to the array xsession_pids.

xsession_need() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
  done
}

xsession_init() {
  work="$(mktemp -d)"
  app=""
  player_pid=""
  xsession_pids=()
  trap xsession_cleanup EXIT
}

# Everything a private PulseAudio server and its clients need, inside $work: no system or user
# configuration, no session bus; the server's socket at $work/pulse/native.
xsession_private_pulse() {
  export HOME="$work" XDG_RUNTIME_DIR="$work" XDG_CONFIG_HOME="$work/config" PULSE_RUNTIME_PATH="$work/pulse"
  export PULSE_SERVER="unix:$work/pulse/native"
  unset DBUS_SESSION_BUS_ADDRESS
  chmod 700 "$work"
}

xsession_cleanup() {
  # The program first, the X server last.
  if [ -n "$player_pid" ]; then kill "$player_pid" 2>/dev/null || true; wait "$player_pid" 2>/dev/null || true; fi
  local i
  for ((i = ${#xsession_pids[@]} - 1; i >= 0; i--)); do kill "${xsession_pids[i]}" 2>/dev/null || true; done
  for ((i = ${#xsession_pids[@]} - 1; i >= 0; i--)); do wait "${xsession_pids[i]}" 2>/dev/null || true; done
  if [ -n "${XSESSION_KEEP:-}" ]; then echo "kept: $work"; else rm -rf "$work"; fi
}

# The start of an end-to-end script: the session, the program folder made from BIN_DIR, the test
# files MAKE_E2E_FILES writes into $work, and fail() naming the script in its message.
#   xsession_e2e NAME BIN_DIR MAKE_E2E_FILES
xsession_e2e() {
  xsession_init
  xsession_sandbox "$2"
  "$3" "$work"
  eval "fail() { xsession_fail \"$1: \$*\"; }"
}

xsession_fail() {
  echo "$*" >&2
  if [ -f "$work/player.log" ]; then cat "$work/player.log" >&2; fi
  exit 1
}

xsession_start_x() {
  local screen="${1:-800x600x24}"
  if [ $# -gt 0 ]; then shift; fi
  # Xvfb picks a free display and writes its number once it accepts connections.
  exec 3>"$work/display"
  Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp "$@" >"$work/xvfb.log" 2>&1 &
  xsession_pids+=($!)
  exec 3>&-
  local _
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
  [ -s "$work/display" ] || { echo "Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }
  DISPLAY=":$(head -n1 "$work/display")"
  export DISPLAY
}

xsession_start_tray() {
  # The icon's clicks go through it as on a desktop.
  trayer --edge top --align right --widthtype request --height 32 --SetDockType true >"$work/trayer.log" 2>&1 &
  xsession_pids+=($!)
  sleep 0.5
}

xsession_sandbox() {
  app="$work/app"
  mkdir -p "$app"
  cp "$1/ostradivuvirar" "$1/wuvorbis.dll" "$app/"
  cp -r "$1/skin" "$app/skin"
}

xsession_start_player() {
  "$app/ostradivuvirar" "$@" >"$work/player.log" 2>&1 &
  player_pid=$!
}

# Sends the running player a signal and waits up to 10 s for it to end; player_status is then
# its exit status, or "running".
xsession_signal_player() {
  kill -"$1" "$player_pid"
  xsession_await_end
}

# Waits up to 10 s for the running player to end; player_status is then its exit status, or
# "running".
xsession_await_end() {
  for _ in $(seq 100); do kill -0 "$player_pid" 2>/dev/null || break; sleep 0.1; done
  player_status=running
  kill -0 "$player_pid" 2>/dev/null && return
  player_status=0
  wait "$player_pid" || player_status=$?
  player_pid=""
}

xsession_window() {
  local wid="" end=$((SECONDS + ${2:-60}))
  # A window made or dropped while xdotool walks the tree ends the search with BadWindow (a
  # dialog being built makes and drops windows of its own): the search is made again.
  while [ -z "$wid" ] && [ "$SECONDS" -lt "$end" ]; do
    wid="$(timeout "$((end - SECONDS))" xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -n1)" || true
    [ -n "$wid" ] || sleep 0.1
  done
  [ -n "$wid" ] || return 1
  echo "$wid"
}

xsession_face_point() {
  convert "$app/skin/default/face.bmp" "$work/face-point.ppm"
  python3 - "$work/face-point.ppm" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
parts = data.split(maxsplit=4)
w, h = int(parts[1]), int(parts[2])
px = parts[4][-w * h * 3:]
key = px[0:3]
y = h // 3
for x in range(w // 4, w):
    if px[(y * w + x) * 3:(y * w + x) * 3 + 3] != key:
        print(x, y)
        break
PY
}

xsession_quit_from_menu() {
  # A menu that was not up yet when the key came is closed and the whole step tried again.
  local attempt _
  for attempt in 1 2 3 4 5; do
    xdotool mousemove $(($1 + $3)) $(($2 + $4)) click 3
    sleep 1
    xdotool key x
    for _ in $(seq 50); do kill -0 "$player_pid" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$player_pid" 2>/dev/null || break
    xdotool key Escape
  done
  if kill -0 "$player_pid" 2>/dev/null; then xsession_fail "the program did not end from 終了(&X) ($attempt tries)"; fi
  wait "$player_pid" || { player_pid=""; xsession_fail "the program ended with an error"; }
  player_pid=""
}
