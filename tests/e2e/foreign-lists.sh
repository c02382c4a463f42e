#!/usr/bin/env bash
# The real program (run it through tests/support/run-with-tray.sh) given playlists as other
# players and other systems write them:
#   - as VLC writes an .m3u: names relative to the list and percent-encoded ("../My%20Music/
#     01%20Beach.ogg", a Japanese name as "%E6%B3%A2"), and an absolute one encoded the same
#     way: the three pieces play in order;
#   - as a player on Japanese Windows writes one: CP932 text with "\" separators, one of them
#     after 表, whose second byte is a "\" itself, and a title for a file without one: both
#     play, the second under its listed title; a third was unpacked from a Japanese archive
#     and kept its CP932 name, which the list names by those same bytes.
#   foreign-lists.sh BIN_DIR MAKE_E2E_FILES
set -euo pipefail
bin="$1"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
. "$here/../support/xsession.sh"
xsession_e2e foreign-lists "$bin" "$2"
xsession_need iconv vorbiscomment

# Each part starts as a new user would, without the list a part before it left.
end_player() {
  xsession_signal_player TERM
  [ "$player_status" = running ] && fail "the program is still running 10 s after SIGTERM"
  rm -f "$app/playlist.m3u8"
}

export SDL_AUDIODRIVER=dummy

# 1. VLC: relative and absolute names, percent-encoded.
mkdir -p "$work/vlc/My Music" "$work/vlc/lists"
cp "$work/first.ogg" "$work/vlc/My Music/01 Beach.ogg"
cp "$work/second.ogg" "$work/vlc/My Music/波.ogg"
cp "$work/rate48k.ogg" "$work/vlc/My Music/03 Far.ogg"
printf '#EXTM3U\n#EXTINF:3,Beach\n../My%%20Music/01%%20Beach.ogg\n../My%%20Music/%%E6%%B3%%A2.ogg\n%s\n' \
  "$work/vlc/My%20Music/03%20Far.ogg" >"$work/vlc/lists/vlc.m3u"
cd "$work"
xsession_start_player vlc/lists/vlc.m3u
xsession_window '^\[1\] First$' 30 >/dev/null || fail "the percent-encoded relative name did not play"
echo "VLC list: playing [1] First (../My%20Music/01%20Beach.ogg)"
xsession_window '^\[2\] Second$' 20 >/dev/null || fail "the percent-encoded Japanese name did not follow"
echo "VLC list: [2] Second (%E6%B3%A2.ogg) followed"
xsession_window '^\[3\] Rate48k$' 20 >/dev/null || fail "the percent-encoded absolute name did not follow"
echo "VLC list: [3] Rate48k (absolute, percent-encoded) followed"
end_player

# 2. Japanese Windows: CP932, "\" separators, a title of the list's own.
mkdir -p "$work/win/表"
cp "$work/second.ogg" "$work/win/表/海.ogg"
vorbiscomment -w "$work/first.ogg" "$work/win/表/波の音.ogg" </dev/null
mkdir -p "$work/win/zip"
cp "$work/rate48k.ogg" "$work/win/zip/$(printf '曲' | iconv -f UTF-8 -t CP932).ogg"
printf '#EXTM3U\r\n#EXTINF:2,海\r\n表\\海.ogg\r\n#EXTINF:3,波の音\r\n表\\波の音.ogg\r\nzip\\曲.ogg\r\n' |
  iconv -f UTF-8 -t CP932 >"$work/win/list.m3u"
# The list really is CP932: not valid UTF-8, and 表 ends in the byte of "\".
if iconv -f UTF-8 -t UTF-8 "$work/win/list.m3u" >/dev/null 2>&1; then fail "the CP932 list is valid UTF-8"; fi
LC_ALL=C grep -q $'\x95\x5c\x5c' "$work/win/list.m3u" || fail "the CP932 list has no 表 before a separator"
xsession_start_player "$work/win/list.m3u"
xsession_window '^\[1\] Second$' 30 >/dev/null || fail "the CP932 list's first entry (表\\海.ogg) did not play"
echo "CP932 list: playing [1] Second (表\\海.ogg)"
xsession_window '^\[2\] 波の音$' 20 >/dev/null || fail "the CP932 list's second entry did not follow under its listed title"
echo "CP932 list: [2] 波の音 followed, its title read from the list"
xsession_window '^\[3\] Rate48k$' 20 >/dev/null || fail "the file with a CP932 name did not follow"
echo "CP932 list: [3] Rate48k followed (a file named in CP932 bytes)"
end_player
echo "foreign-lists: all passed"
