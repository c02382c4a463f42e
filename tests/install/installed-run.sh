#!/usr/bin/env bash
# `cmake --install` into a DESTDIR with the prefix /usr/local, then the installed program as a
# user starts it (run this through tests/support/run-with-tray.sh): from bin/ostradivuvirar, a
# link, it finds its folder, plays the installed demo (SDL's disk driver captures the sound), and
# on quitting from its menu writes the settings under $XDG_CONFIG_HOME, not beside itself. The
# install manifest then uninstalls every file.
#   installed-run.sh BUILD_DIR
set -euo pipefail
build="$1"
. "$(dirname "${BASH_SOURCE[0]}")/../support/xsession.sh"
xsession_need xdotool convert python3
xsession_init
fail() { xsession_fail "installed run: $*"; }

root="$work/root"
DESTDIR="$root" cmake --install "$build" --prefix /usr/local >"$work/install.log" || {
  cat "$work/install.log" >&2; fail "cmake --install failed"; }
# Every file went under DESTDIR.
if grep -E '^-- (Installing|Up-to-date): ' "$work/install.log" | grep -v -- "-- [A-Za-z-]*: $root/"; then
  fail "files were installed outside DESTDIR"
fi
prefix="$root/usr/local"
lib="$prefix/lib/ostradivuvirar"
id=io.github.ostradivuvirar.OstraDivUvirar
for f in "$lib"/{ostradivuvirar,qvtool,wuvorbis.dll,installed,demo/demo.qv} "$lib"/skin/{default,light}/{skin.ini,face.bmp,bPlay.bmp,bFast.bmp} \
         "$prefix"/share/{applications/$id.desktop,metainfo/$id.metainfo.xml,mime/packages/$id.xml} \
         "$prefix"/share/icons/hicolor/{scalable/apps/$id.svg,16x16/apps/$id.png,256x256/apps/$id.png} \
         "$prefix"/share/man/man1/{ostradivuvirar,qvtool}.1.gz; do
  [ -f "$f" ] || fail "${f#"$root"} was not installed"
done
for name in ostradivuvirar qvtool; do
  [ "$(readlink "$prefix/bin/$name")" = "../lib/ostradivuvirar/$name" ] || fail "bin/$name is not a link into lib/ostradivuvirar"
done
echo "installed under DESTDIR: the program folder, the links in bin/, the desktop files"

# The options answer without a display; qvtool, started through its link, finds the decoder
# library beside its real self.
version="$(env -u DISPLAY "$prefix/bin/ostradivuvirar" --version)" || fail "--version failed"
[[ "$version" =~ ^ostradivuvirar\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "--version says '$version'"
[ "$("$prefix/bin/qvtool" --version)" = "qvtool ${version#ostradivuvirar }" ] || fail "qvtool --version differs"
env -u DISPLAY "$prefix/bin/ostradivuvirar" --help | grep -q -- '--version' || fail "--help does not list --version"
(cd / && "$prefix/bin/qvtool" info "$lib/demo/demo.qv") | grep -q '^rate: 44100$' || fail "the installed qvtool cannot read the demo"
echo "$version; qvtool through its link reads the demo"

# The installed player, started as from a menu: from bin/, in another directory, a home of its own.
export HOME="$work/home" XDG_CONFIG_HOME="$work/config"
mkdir -p "$HOME"
app="$lib"  # the skin xsession_face_point looks at
(cd "$HOME" && SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/capture.raw" exec "$prefix/bin/ostradivuvirar" "$lib/demo/demo.qv") \
  >"$work/player.log" 2>&1 &
player_pid=$!
wid="$(xsession_window '^\[1\] ' 60)" || fail "the installed demo did not start playing"
sleep 3
eval "$(xdotool getwindowgeometry --shell "$wid")"
read -r face_x face_y < <(xsession_face_point)
xsession_quit_from_menu "$X" "$Y" "$face_x" "$face_y"
echo "played the demo and ended from the menu"

# Sound was heard: the capture is 16-bit stereo at 44100 Hz, and not silent.
python3 - "$work/capture.raw" <<'PY' || fail "the capture holds no sound"
import array, sys
a = array.array("h", open(sys.argv[1], "rb").read())
loud = sum(1 for s in a if abs(s) > 1000)
print("capture: %.1f s, %d samples above 1000" % (len(a) / 2 / 44100, loud))
sys.exit(0 if len(a) > 44100 * 2 and loud > 1000 else 1)
PY

settings="$XDG_CONFIG_HOME/ostradivuvirar/zkv108.info"
[ "$(stat -c %s "$settings" 2>/dev/null || echo 0)" = 288 ] || fail "no 288-byte settings file at $settings"
[ ! -e "$lib/zkv108.info" ] || fail "the settings were written beside the installed program"
[ "$(stat -c %a "$XDG_CONFIG_HOME/ostradivuvirar")" = 700 ] || fail "the configuration directory was not made private"
# The stored skin lies in the real program folder: the link to the program was resolved.
skin="$(python3 -c 'import sys; print(open(sys.argv[1], "rb").read()[24:284].split(b"\0")[0].decode())' "$settings")"
[ "$skin" = "$lib/skin/default/" ] || fail "the stored skin is $skin, not $lib/skin/default/"
echo "settings: 288 bytes in \$XDG_CONFIG_HOME/ostradivuvirar/, none beside the program"

# Uninstalling as the README says removes every installed file, the links included. The manifest
# names the files without DESTDIR.
sed "s|^|$root|" "$build/install_manifest.txt" | xargs -d '\n' rm -f
left="$(find "$root" ! -type d)"
[ -z "$left" ] || fail "left after uninstalling: $left"
echo "uninstalled: no file left"
