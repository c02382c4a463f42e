#!/usr/bin/env bash
# The files the install step gives the desktop, checked by the standard validators and by Qt:
# the desktop entry, the AppStream metainfo, the MIME package (a container known by its name and,
# renamed without extension, by its first bytes) and the icon (the SVG as the program draws it).
#   desktop-files.sh DIST_DIR DESKTOP_PROBE
set -euo pipefail
dist="$1"
probe="$2"
id=io.github.ostradivuvirar.OstraDivUvirar
for tool in desktop-file-validate appstreamcli update-mime-database rsvg-convert compare identify; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
done
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "desktop files: $*" >&2; exit 1; }

# The desktop entry: valid without a single hint, and opening what the player plays.
out="$(desktop-file-validate "$dist/$id.desktop" 2>&1)" || fail "desktop-file-validate: $out"
[ -z "$out" ] || fail "desktop-file-validate has remarks: $out"
entry() { sed -n "s/^$1=//p" "$dist/$id.desktop"; }
[ "$(entry Exec)" = "ostradivuvirar %F" ] || fail "Exec is '$(entry Exec)'"
[ "$(entry Icon)" = "$id" ] || fail "Icon is '$(entry Icon)'"
[ "$(entry Categories)" = "AudioVideo;Audio;Player;" ] || fail "Categories is '$(entry Categories)'"
for type in audio/ogg audio/x-vorbis+ogg audio/x-mpegurl audio/x-ostraogg; do
  [[ ";$(entry MimeType)" == *";$type;"* ]] || fail "MimeType lacks $type"
done
[ -n "$(entry 'Name\[ja\]')" ] || fail "no Name[ja]"
echo "desktop entry: valid"

# The metainfo, and the screenshots it names are the README's own.
appstreamcli validate --no-net "$dist/$id.metainfo.xml" || fail "appstreamcli validate failed"
shots="$(grep -o 'docs/[a-z-]*\.png' "$dist/$id.metainfo.xml")"
[ -n "$shots" ] || fail "the metainfo names no screenshot"
for shot in $shots; do
  [ -f "$dist/../$shot" ] || fail "screenshot $shot is not in the tree"
  grep -q "($shot)" "$dist/../README.md" || fail "screenshot $shot is not in the README"
done
echo "metainfo: valid, screenshots $(echo $shots)"

# The MIME package in a data directory of our own, as update-mime-database builds it on install.
mkdir -p "$work/data/mime/packages" "$work/home"
cp "$dist/ostradivuvirar-mime.xml" "$work/data/mime/packages/$id.xml"
XDG_DATA_DIRS="$work/data" update-mime-database "$work/data/mime"
export XDG_RUNTIME_DIR="$work/run"
mkdir -m 700 "$XDG_RUNTIME_DIR"
{ printf 'OSTRAOGG'; head -c 192 /dev/zero; printf 'OggS'; head -c 60 /dev/urandom; } >"$work/song.qv"
cp "$work/song.qv" "$work/no-extension"
printf 'OSTRA is not a container\n' >"$work/plain"
types() {
  XDG_DATA_HOME="$work/home" XDG_DATA_DIRS="$1" QT_QPA_PLATFORM=offscreen "$probe" mime \
    "$work/song.qv" "$work/no-extension" "$work/plain" | tr '\n' ' '
}
got="$(types "$work/data:/usr/local/share:/usr/share")"
[ "$got" = "audio/x-ostraogg audio/x-ostraogg text/plain " ] || fail "QMimeDatabase with our package: $got"
# Without it the same files are nothing of ours: the package is what makes them known.
got="$(types "/usr/local/share:/usr/share")"
[[ "$got" != *ostraogg* ]] || fail "QMimeDatabase knows the type without our package: $got"
echo "MIME: a container is audio/x-ostraogg by name and by content"

# The icon: each PNG of the size its name says, and the SVG drawn as the program draws its icon.
for png in "$dist"/icons/*.png; do
  size="$(basename "$png" .png)"
  [ "$(identify -format '%wx%h' "$png")" = "${size}x$size" ] || fail "$png is not ${size}x$size"
done
for size in 16 32 48; do
  QT_QPA_PLATFORM=offscreen "$probe" icon "$size" "$work/qt-$size.png" || fail "the program's icon was not drawn"
  rsvg-convert -w "$size" -h "$size" -o "$work/svg-$size.png" "$dist/icons/$id.svg"
  # Normalised root-mean-square difference over every channel, alpha included: about 0.03-0.06
  # from the two renderers' edges, 0.15 and more for a wrong colour or an arc drawn the wrong way.
  # (compare's status is 1 whenever the images differ at all.)
  rmse="$(compare -metric RMSE "$work/qt-$size.png" "$work/svg-$size.png" null: 2>&1 | sed -n 's/.*(\(.*\)).*/\1/p' || true)"
  python3 -c "import sys; sys.exit(0 if float(sys.argv[1]) < 0.08 else 1)" "$rmse" ||
    fail "the SVG differs from the program's icon at $size px: RMSE $rmse"
  echo "icon at $size px: RMSE $rmse against the program's own"
done
