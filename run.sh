#!/usr/bin/env bash
# Sets up what is missing, builds a release build into build/ and starts the player.
#   ./run.sh [FILE...]   FILEs are added to the playlist kept from the last run and the first
#                        plays; with no FILE the kept playlist goes on where it stopped, and
#                        on the very first run (no kept playlist yet) the bundled demo plays
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
./scripts/install-deps.sh
cmake --preset release
# Only what playing needs: the tests and benchmarks are built by ./test.sh.
cmake --build --preset release -j "$(nproc)" --target ostradivuvirar qvtool wuvorbis ostra_skins ostra_demo
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
# A copy run from its build folder keeps its playlist beside the program; the demo is only for a
# first run, so that starting again never adds it to the list once more.
if [ $# -eq 0 ] && [ ! -e build/bin/playlist.m3u8 ]; then
  set -- build/bin/demo/*.qv
fi
files=()
for f in "$@"; do files+=("$(realpath -- "$f" 2>/dev/null || echo "$f")"); done
exec "$player" "${files[@]}"
