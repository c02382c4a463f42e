#!/usr/bin/env bash
# Sets up what is missing, builds a release build into build/ and starts the player.
#   ./run.sh [FILE...]   with no FILE the bundled demo plays
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
./scripts/install-deps.sh
cmake --preset release
cmake --build --preset release -j "$(nproc)"
player=build/bin/ostradivuvirar
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "The player needs a display (X11 or Wayland); none is set. Try: xvfb-run ./run.sh" >&2
  exit 1
fi
# A machine without any sound device (a server, a container) would make the first play fail;
# let SDL play into its silent driver there instead, and say so.
if [ -z "${SDL_AUDIODRIVER:-}" ] && ! ls /dev/snd/pcm* >/dev/null 2>&1 \
   && [ ! -S "${XDG_RUNTIME_DIR:-/run/user/$(id -u)}/pulse/native" ] \
   && [ ! -S "${XDG_RUNTIME_DIR:-/run/user/$(id -u)}/pipewire-0" ]; then
  echo "No sound device found: playing silently (SDL dummy driver)." >&2
  export SDL_AUDIODRIVER=dummy
fi
if [ $# -eq 0 ]; then
  set -- build/bin/demo/*.qv
fi
files=()
for f in "$@"; do files+=("$(realpath -- "$f" 2>/dev/null || echo "$f")"); done
exec "$player" "${files[@]}"
