#!/usr/bin/env bash
# Runs a command on a private X server (Xvfb) that has a notification area (trayer), with Qt on
# its X11 platform. Everything started here is stopped on the way out.
#   run-with-tray.sh COMMAND [ARG...]
set -euo pipefail
for tool in Xvfb trayer xdotool; do
  command -v "$tool" >/dev/null || { echo "run-with-tray.sh: $tool is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
done
work="$(mktemp -d)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display and writes its number once it accepts connections. The classic
# stipple on the root window makes whatever the main window cuts away easy to see.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 800x600x24 -retro -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
exec 3>&-
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"

# A notification area at the top edge; the icon's clicks go through it as on a desktop.
trayer --edge top --align right --widthtype request --height 32 --SetDockType true >"$work/trayer.log" 2>&1 &
pids+=($!)
sleep 0.5

export QT_QPA_PLATFORM=xcb
# No session bus: Qt then uses the X11 notification area that trayer provides.
unset DBUS_SESSION_BUS_ADDRESS
"$@"
