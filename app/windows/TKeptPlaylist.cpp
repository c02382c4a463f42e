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

void TKeptPlaylist::Store(const std::string& settingsDir, const TPlaylist& list, const TEnd& end)
{
    PlaylistFormats::TSession session;
    for (int i = 0; i < list.Count(); ++i)
        session.entries.push_back({list.Path(i), CodePage::Cp932ToUtf8(list.Name(i))});
    // The piece heard is the one to come back to, wherever the list's cursor stands.
    session.current = list.Playing() >= 0 ? list.Playing() : list.Current();
    session.playing = end.going && list.Playing() >= 0;
    const std::string path = settingsDir + FileName;
    try {
        ResumeState::TState state = end.state;
        if (!session.playing) {
            state.position = 0.0;
            state.paused = false;
        }
        const std::string text = PlaylistFormats::SessionText(session) + ResumeState::Lines(state);
        AtomicFile::Write(path, text.data(), text.size());
    } catch (const std::exception&) {
        TMessages::ShowException("プレイリスト " + path + " を保存できませんでした。");
    }
}

TKeptPlaylist::TResume TKeptPlaylist::Restore(const std::string& settingsDir, TPlaylist& list)
{
    const std::string path = settingsDir + FileName;
    struct stat st {};
    // Nothing kept: no such file, or no folder for it (the settings folder's place taken by a
    // file); the settings file reports that folder when it cannot be written.
    if (settingsDir.empty() || (::stat(path.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR)))
        return {};
    TStringList lines;
    try {
        if (!S_ISREG(st.st_mode))
            throw EFileError(path);
        lines.LoadFromFile(path);
    } catch (const std::exception&) {
        TMessages::ShowException("プレイリスト " + path + " を読み込めませんでした。");
        return {};
    }
    const std::string text = lines.Text();
    const PlaylistFormats::TSession session = PlaylistFormats::ParseSession(text);
    const int first = list.Count();
    for (const PlaylistRules::TListedEntry& entry : session.entries)
        list.Add(entry.name, Utf8ToSjis(entry.title.empty() ? Paths::ExtractFileName(entry.name) : entry.title));
    if (first == 0 && list.Count() > 0)
        list.Select(session.current >= 0 ? session.current : 0);
    TResume resume;
    resume.state = ResumeState::Parse(text);
    resume.entry = session.playing ? first + session.current : -1;
    return resume;
}
