#!/usr/bin/env bash
# The Debian package CPack makes from the install step (as scripts/package.sh does), looked into
# with dpkg-deb: its control fields (section sound, dependencies found by dpkg-shlibdeps), the
# program folder under /usr/lib/ostradivuvirar with the links in /usr/bin, the desktop files,
# stripped binaries; and lintian finds no error in it.
#   package-contents.sh BUILD_DIR
set -euo pipefail
build="$1"
for tool in cpack dpkg-deb dpkg-shlibdeps lintian file; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
done
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "package: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log" >&2; fail "cpack failed"; }
debs=("$work"/out/*.deb)
[ ${#debs[@]} = 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single .deb: ${debs[*]}"
deb="${debs[0]}"
echo "made $(basename "$deb")"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = ostradivuvirar ] || fail "Package is '$(field Package)'"
[ "$(field Section)" = sound ] || fail "Section is '$(field Section)'"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture is '$(field Architecture)'"
depends="$(field Depends)"
for lib in libc6 libqt6widgets6 libsdl2-2.0-0 libvorbisfile3 libsoxr0; do
  [[ "$depends" =~ (^|, )$lib( |,|$) ]] || fail "Depends lacks $lib (shlibdeps): $depends"
done
echo "control: section sound; Depends: $depends"

dpkg-deb -c "$deb" | awk '{ $1 = ""; $3 = ""; $4 = ""; $5 = ""; print }' | sed 's/^ *//' >"$work/contents"
owners="$(awk '{ print $1 }' "$work/contents" | sort -u)"
[ "$owners" = root/root ] || fail "files not owned by root: $owners"
sed 's/^root\/root *//' "$work/contents" >"$work/paths"
want=(./usr/lib/ostradivuvirar/ostradivuvirar ./usr/lib/ostradivuvirar/qvtool ./usr/lib/ostradivuvirar/wuvorbis.dll
      ./usr/lib/ostradivuvirar/installed ./usr/lib/ostradivuvirar/demo/demo.qv
      ./usr/lib/ostradivuvirar/skin/default/skin.ini ./usr/lib/ostradivuvirar/skin/light/face.bmp
      "./usr/bin/ostradivuvirar -> ../lib/ostradivuvirar/ostradivuvirar" "./usr/bin/qvtool -> ../lib/ostradivuvirar/qvtool"
      ./usr/share/applications/io.github.ostradivuvirar.OstraDivUvirar.desktop
      ./usr/share/metainfo/io.github.ostradivuvirar.OstraDivUvirar.metainfo.xml
      ./usr/share/mime/packages/io.github.ostradivuvirar.OstraDivUvirar.xml
      ./usr/share/icons/hicolor/scalable/apps/io.github.ostradivuvirar.OstraDivUvirar.svg
      ./usr/share/icons/hicolor/48x48/apps/io.github.ostradivuvirar.OstraDivUvirar.png
      ./usr/share/man/man1/ostradivuvirar.1.gz ./usr/share/man/man1/qvtool.1.gz
      ./usr/share/doc/ostradivuvirar/copyright ./usr/share/doc/ostradivuvirar/changelog.gz)
for path in "${want[@]}"; do
  grep -qxF -- "$path" "$work/paths" || fail "the package lacks $path"
done
# Nothing but /usr, and nothing of the build or the tests.
if grep -v -e '^\./$' -e '^\./usr/' "$work/paths"; then fail "files outside /usr"; fi
if grep -e '/tests\?/' -e 'build' -e 'gtest' "$work/paths"; then fail "build or test files in the package"; fi
echo "contents: $(wc -l <"$work/paths") entries, the program folder, links and desktop files in place"

dpkg-deb -x "$deb" "$work/tree"
for f in ostradivuvirar qvtool wuvorbis.dll; do
  file "$work/tree/usr/lib/ostradivuvirar/$f" | grep -q ', stripped' || fail "$f is not stripped"
done

lintian --no-tag-display-limit "$deb" >"$work/lintian.log" 2>&1 || true
if grep '^E: ' "$work/lintian.log"; then fail "lintian reports errors"; fi
echo "lintian: no errors, $(grep -c '^W: ' "$work/lintian.log" || true) warnings"
