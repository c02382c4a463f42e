#!/usr/bin/env bash
# The main window's face drawn the same by two builds of the program, playing and paused: each
# build plays the same piece on its own private X server while the window is photographed many
# times; at least half of the distinct pictures of the second build must also have been taken of the
# first, byte for byte.
# The time and the scrolling title make each picture a state; two runs pass through nearly the
# same states, so most pictures pair up, and a single pixel drawn otherwise shows as a picture
# of the second build found nowhere among the first's.
#   face-shots.sh BEFORE_BIN_DIR AFTER_BIN_DIR PIECE.ogg [OUT_DIR]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
before_bin="$(cd "$1" && pwd)"
after_bin="$(cd "$2" && pwd)"
piece="$(cd "$(dirname "$3")" && pwd)/$(basename "$3")"
out="${4:-}"
. "$here/../support/xsession.sh"
xsession_init
xsession_need Xvfb xdotool import
export SDL_AUDIODRIVER=dummy

# shoot NAME BIN_DIR: pictures of the window while playing (3 s), then paused (3 s), in
# $work/NAME/{playing,paused}-*.ppm.
shoot() {
  local name=$1 bin=$2
  mkdir -p "$work/$name"
  xsession_start_x 400x300x24
  xsession_sandbox "$bin"
  xsession_start_player "$piece"
  local wid
  wid="$(xsession_window '^\[1\] ' 30)" || xsession_fail "$name: the piece did not start"
  eval "$(xdotool getwindowgeometry --shell "$wid")"
  local i phase
  for phase in playing paused; do
    if [ "$phase" = paused ]; then
      # The pause button of the default skin (skin.ini: PAUSE_BUTTON 86,80, 16 pixels wide).
      xdotool mousemove $((X + 94)) $((Y + 88)) click 1
      sleep 0.3
    fi
    for i in $(seq -w 1 40); do
      import -window root -crop "${WIDTH}x${HEIGHT}+$X+$Y" +repage "$work/$name/$phase-$i.ppm"
      sleep 0.05
    done
  done
  kill "$player_pid"; wait "$player_pid" 2>/dev/null || true; player_pid=""
  kill "${xsession_pids[-1]}"; wait "${xsession_pids[-1]}" 2>/dev/null || true
  unset 'xsession_pids[-1]'
}
shoot before "$before_bin"
shoot after "$after_bin"
[ -z "$out" ] || { mkdir -p "$out"; cp "$work"/after/playing-01.ppm "$out/playing.ppm"; cp "$work"/after/paused-40.ppm "$out/paused.ppm"; }

python3 - "$work" <<'PY'
import glob, hashlib, os, sys
work = sys.argv[1]
def frames(name, phase=None):
    pattern = os.path.join(work, name, (phase or "*") + "-*.ppm")
    return {hashlib.sha1(open(p, "rb").read()).hexdigest(): p for p in sorted(glob.glob(pattern))}
before = frames("before")
failed = False
for phase in ("playing", "paused"):
    after = frames("after", phase)
    found = [h for h in after if h in before]
    print(f"{phase}: {len(after)} distinct pictures of the second build, {len(found)} also taken of the first")
    if 2 * len(found) < len(after):
        failed = True
sys.exit("the second build draws pictures the first never showed" if failed else 0)
PY
