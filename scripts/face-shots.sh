#!/usr/bin/env bash
# The main window's face drawn the same by two builds of the program, playing and paused: each
# build plays the same piece on its own private X server while the window is photographed many
# times. The time and the scrolling title make each picture a state, and two runs pass through
# nearly the same states: the rows of the title and the rows of the times of the second build's
# pictures must each be found, byte for byte, among the first build's pictures (three in four at
# least: a state caught in one run only is missed now and then).
#   face-shots.sh BEFORE_BIN_DIR AFTER_BIN_DIR PIECE.ogg [OUT_DIR]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
before_bin="$(cd "$1" && pwd)"
after_bin="$(cd "$2" && pwd)"
piece="$(cd "$(dirname "$3")" && pwd)/$(basename "$3")"
out="${4:-}"
. "$here/../tests/support/xsession.sh"
xsession_init
xsession_need Xvfb xdotool import
export SDL_AUDIODRIVER=dummy

# shoot NAME BIN_DIR PLAYING PAUSED: PLAYING pictures of the window while playing, then PAUSED
# pictures paused, in $work/NAME/{playing,paused}-*.ppm. The first build plays and stays paused a
# little longer, so that the second one's times and scrolled titles lie within the first's: the
# pictures come more slowly now and then, and the second build's pause can fall on a time the
# first one photographed only while it played on.
shoot() {
  local name=$1 bin=$2 playing=$3 paused=$4 count
  mkdir -p "$work/$name"
  xsession_start_x 400x300x24
  rm -rf "$work/app"  # a program folder of its own: skins and no settings file from the other
  xsession_sandbox "$bin"
  xsession_start_player "$piece"
  local wid
  wid="$(xsession_window '^\[1\] ' 30)" || xsession_fail "$name: the piece did not start"
  eval "$(xdotool getwindowgeometry --shell "$wid")"
  local i phase
  for phase in playing paused; do
    count=$playing
    if [ "$phase" = paused ]; then
      count=$paused
      # The pause button of the default skin (skin.ini: PAUSE_BUTTON 86,80, 16 pixels wide).
      xdotool mousemove $((X + 94)) $((Y + 88)) click 1
      sleep 0.3
    fi
    for i in $(seq -w 1 "$count"); do
      import -window root -crop "${WIDTH}x${HEIGHT}+$X+$Y" +repage -depth 8 "$work/$name/$phase-$i.ppm"
      sleep 0.05
    done
  done
  kill "$player_pid"; wait "$player_pid" 2>/dev/null || true; player_pid=""
  kill "${xsession_pids[-1]}"; wait "${xsession_pids[-1]}" 2>/dev/null || true
  unset 'xsession_pids[-1]'
}
shoot before "$before_bin" 60 60
shoot after "$after_bin" 40 40
[ -z "$out" ] || { mkdir -p "$out"; cp "$work"/after/playing-01.ppm "$out/playing.ppm"; cp "$work"/after/paused-40.ppm "$out/paused.ppm"; }

# The title scrolls each second and the time changes each tenth, independently: the rows above
# the time (skin.ini's DISPLAY_Y + 20) and those from it down are compared each on its own.
split=$(( $(sed -n 's/^DISPLAY_Y=\([0-9-]*\).*/\1/p' "$after_bin/skin/default/skin.ini" | tr -d '\r') + 20 ))
python3 - "$work" "$split" <<'PY'
import glob, os, sys
work, split = sys.argv[1], int(sys.argv[2])
def bands(path):
    data = open(path, "rb").read()
    fields = data.split(maxsplit=4)
    assert fields[3] == b"255", path
    w, h = int(fields[1]), int(fields[2])
    px = fields[4][-w * h * 3:]
    return px[:split * w * 3], px[split * w * 3:]
before = [bands(p) for p in glob.glob(os.path.join(work, "before", "*.ppm"))]
failed = False
for phase in ("playing", "paused"):
    after = {p: bands(p) for p in sorted(glob.glob(os.path.join(work, "after", phase + "-*.ppm")))}
    whole = sum(1 for b in after.values() if b in before)
    print(f"{phase}: {len(after)} pictures of the second build, {whole} identical to one of the first's")
    for i, name in enumerate(("title rows", "time rows")):
        known = {b[i] for b in before}
        missing = [os.path.basename(p) for p, b in after.items() if b[i] not in known]
        if missing:
            print(f"  {name} not photographed of the first build: {' '.join(missing)}")
        # A state photographed of one run only is missed now and then; a difference in drawing
        # shows in every picture.
        if 4 * len(missing) > len(after):
            failed = True
sys.exit("the second build draws the face otherwise" if failed else 0)
PY
