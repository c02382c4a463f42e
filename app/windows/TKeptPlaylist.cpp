#include "TKeptPlaylist.h"

#include "AtomicFile.h"
#include "CodePage.h"
#include "EFileError.h"
#include "Paths.h"
#include "PlaylistFormats.h"
#include "SjisConv.h"
#include "TMessages.h"
#include "TPlaylist.h"
#include "TStringList.h"

#include <cerrno>
#include <sys/stat.h>

const char TKeptPlaylist::FileName[] = "playlist.m3u8";

void TKeptPlaylist::Store(const std::string& settingsDir, const TPlaylist& list, bool playing)
{
    PlaylistFormats::TSession session;
    for (int i = 0; i < list.Count(); ++i)
        session.entries.push_back({list.Path(i), CodePage::Cp932ToUtf8(list.Name(i))});
    session.current = list.Current();
    session.playing = playing && session.current >= 0;
    const std::string path = settingsDir + FileName;
    try {
        const std::string text = PlaylistFormats::SessionText(session);
        AtomicFile::Write(path, text.data(), text.size());
    } catch (const std::exception&) {
        TMessages::ShowException("プレイリスト " + path + " を保存できませんでした。");
    }
}

int TKeptPlaylist::Restore(const std::string& settingsDir, TPlaylist& list)
{
    const std::string path = settingsDir + FileName;
    struct stat st {};
    if (settingsDir.empty() || (::stat(path.c_str(), &st) != 0 && errno == ENOENT))
        return -1;
    TStringList lines;
    try {
        if (!S_ISREG(st.st_mode))
            throw EFileError(path);
        lines.LoadFromFile(path);
    } catch (const std::exception&) {
        TMessages::ShowException("プレイリスト " + path + " を読み込めませんでした。");
        return -1;
    }
    const PlaylistFormats::TSession session = PlaylistFormats::ParseSession(lines.Text());
    for (const PlaylistRules::TListedEntry& entry : session.entries)
        list.Add(entry.name, Utf8ToSjis(entry.title.empty() ? Paths::ExtractFileName(entry.name) : entry.title));
    if (list.Count() > 0)
        list.Select(session.current >= 0 ? session.current : 0);
    return session.playing ? session.current : -1;
}
