#!/usr/bin/env bash
# Screenshots of the playlist, loop-count and volume windows of the real program under Xvfb,
# with openbox drawing the window frames:
#   scripts/screenshots.sh BUILD_DIR OUT_DIR
# The program runs from a directory of its own with a settings file that opens the three side
# windows; the playlist is loaded through the playlist window's own menu, as a user would.
set -euo pipefail
# Players of their own, never handing their files to one running on the desktop.
unset DBUS_SESSION_BUS_ADDRESS
build="$(realpath "${1:-build}")"
out="$(realpath -m "${2:-docs}")"
mkdir -p "$out"
. "$(dirname "${BASH_SOURCE[0]}")/../tests/support/xsession.sh"
xsession_need Xvfb openbox xdotool import oggenc python3
xsession_init
xsession_sandbox "$build/bin"
mkdir -p "$work/music"

# A few short pieces, two of them with Japanese titles, three without any title.
python3 - "$work/music" <<'PY'
import math, struct, sys, wave
d = sys.argv[1]
for i, f in enumerate((440.0, 523.25, 587.33, 659.25)):
    with wave.open(f"{d}/{i}.wav", "wb") as w:
        w.setnchannels(2); w.setsampwidth(2); w.setframerate(44100)
        w.writeframes(b"".join(struct.pack("<hh", *(int(8000 * math.sin(2 * math.pi * f * n / 44100)),) * 2)
                               for n in range(44100)))
PY
oggenc -Q -t "Morning Light" -o "$work/music/morning.ogg" "$work/music/0.wav"
oggenc -Q -t "夜明けのテスト曲" -o "$work/music/yoake.ogg" "$work/music/1.wav"
oggenc -Q -o "$work/music/interlude.ogg" "$work/music/2.wav"
oggenc -Q -t "風の歌" -o "$work/music/kaze.ogg" "$work/music/3.wav"
# Untitled pieces show their file names, each character as itself: accented Latin and Korean
# have no Shift-JIS form.
oggenc -Q -o "$work/music/Café.ogg" "$work/music/0.wav"
oggenc -Q -o "$work/music/한국어.ogg" "$work/music/1.wav"
printf '%s\r\n' "$work/music/morning.ogg" "$work/music/yoake.ogg" "$work/music/interlude.ogg" \
  "$work/music/kaze.ogg" "$work/music/Café.ogg" "$work/music/한국어.ogg" > "$work/list.m3u"

# The settings record: main window at 40,40, playlist below it, loop count 3, volume 7500,
# the default skin, the three side windows shown.
python3 - "$app" <<'PY'
import struct, sys
app = sys.argv[1]
skin = (app + "/skin/default/").encode()
rec = struct.pack("<iiiiii", 40, 40, 40, 200, 3, 7500) + skin + b"\0" * (260 - len(skin)) + bytes([1, 1, 1, 0])
assert len(rec) == 288
open(app + "/zkv108.info", "wb").write(rec)
PY

xsession_start_x 720x480x24
# Title bars as the small windows have them: the caption and a close button only.
cat > "$work/rc.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <theme>
    <name>Clearlooks</name>
    <titleLayout>LC</titleLayout>
    <font place="ActiveWindow"><name>IPAPGothic</name><size>9</size><weight>bold</weight></font>
    <font place="InactiveWindow"><name>IPAPGothic</name><size>9</size><weight>bold</weight></font>
  </theme>
</openbox_config>
XML
openbox --config-file "$work/rc.xml" >/dev/null 2>&1 &
xsession_pids+=($!)
sleep 1
# A plain desktop colour, so the cut-away parts of the main window show as such.
convert -size 720x480 xc:'#5a6e82' "$work/desktop.png"
display -window root "$work/desktop.png" 2>/dev/null || true

SDL_AUDIODRIVER=dummy xsession_start_player
find_window() {
  for _ in $(seq 100); do
    id="$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1 || true)"
    [ -n "$id" ] && { echo "$id"; return; }
    sleep 0.1
  done
  echo "no window $1" >&2; exit 1
}
playlist="$(find_window "プレイリスト")"
loop="$(find_window "ループ回数")"
volume="$(find_window "音量変更")"
sleep 1

# Load the playlist through the window's menu: ファイル(&F) > プレイリストの読込(&P).
xdotool windowactivate --sync "$playlist"
xdotool key --window "$playlist" alt+f
sleep 0.5
xdotool key p
dialog="$(find_window "プレイリストの読みこみ")"
xdotool windowactivate --sync "$dialog"
sleep 0.5
xdotool type --delay 5 "$work/list.m3u"
xdotool key Return
sleep 2
# Select the Japanese title, as a user would by clicking it.
xdotool windowactivate --sync "$playlist"
xdotool key --window "$playlist" Down
sleep 1

# Each window on its own, brought to the front for its picture.
for name in loop volume playlist; do
  id="${!name}"
  xdotool windowactivate --sync "$id"
  sleep 0.5
  import -frame -window "$id" "$out/$name-window.png"
done
# The whole desktop, each window where it opened.
import -window root "$out/side-windows.png"
echo "wrote $out/side-windows.png, playlist-window.png, loop-window.png, volume-window.png"
