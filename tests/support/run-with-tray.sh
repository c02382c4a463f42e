#!/usr/bin/env bash
# Runs a command on a private X server (Xvfb) that has a notification area (trayer), with Qt on
# its X11 platform. Everything started here is stopped on the way out.
#   run-with-tray.sh COMMAND [ARG...]
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/xsession.sh"
xsession_need Xvfb trayer xdotool
xsession_init
# The classic stipple on the root window makes whatever the main window cuts away easy to see.
xsession_start_x 800x600x24 -retro
xsession_start_tray

export QT_QPA_PLATFORM=xcb
# No session bus: Qt then uses the X11 notification area that trayer provides.
unset DBUS_SESSION_BUS_ADDRESS
"$@"
