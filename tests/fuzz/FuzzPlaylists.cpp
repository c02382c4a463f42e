// The .pls and XSPF readers on any bytes. Every entry must name a file with an audio extension
// once the white space around it is left aside; a .pls written from the entries' names reads
// back as the same names; and an XSPF written from absolute names reads back as file:// URIs
// that decode to the same names. The kept playlist reads back as it was written. Read from
// bytes in any encoding, .m3u and .pls entries are UTF-8 text.
#include "FuzzSupport.h"
#include "PlaylistFormats.h"
#include "PlaylistRules.h"
#include "ResumeState.h"
#include "TStringList.h"
#include "XspfReader.h"

#include <string>

namespace {
std::vector<std::string> Names(const std::vector<PlaylistRules::TListedEntry>& entries)
{
    std::vector<std::string> names;
    for (const PlaylistRules::TListedEntry& entry : entries) {
        FUZZ_CHECK(PlaylistRules::IsAudioName(PlaylistRules::Trimmed(entry.name)));
        names.push_back(entry.name);
    }
    return names;
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    TStringList lines;
    lines.SetText(bytes);
    const std::vector<std::string> pls = Names(PlaylistFormats::PlsEntries(lines));
    lines.SetText(PlaylistFormats::Text(PlaylistFormats::TKind::Pls, pls));
    FUZZ_CHECK(Names(PlaylistFormats::PlsEntries(lines)) == pls);

    const std::vector<std::string> xspf = Names(XspfReader::Entries(bytes));
    std::vector<std::string> absolute;
    for (const std::string& name : pls)
        if (!name.empty() && name.front() == '/' && name.find('\0') == std::string::npos)
            absolute.push_back(name);
    const std::vector<std::string> written =
        Names(XspfReader::Entries(PlaylistFormats::Text(PlaylistFormats::TKind::Xspf, absolute)));
    FUZZ_CHECK(written.size() == absolute.size());
    for (size_t i = 0; i < written.size() && i < absolute.size(); ++i)
        FUZZ_CHECK(PlaylistRules::DecodeFileUri(written[i]) == absolute[i]);
    (void)xspf;

    for (const PlaylistFormats::TKind kind : {PlaylistFormats::TKind::M3u, PlaylistFormats::TKind::Pls})
        for (const PlaylistRules::TListedEntry& entry : PlaylistFormats::TextEntries(kind, bytes)) {
            FUZZ_CHECK(PlaylistRules::IsAudioName(PlaylistRules::Trimmed(entry.name)));
            FUZZ_CHECK(PlaylistRules::IsUtf8(entry.name) && PlaylistRules::IsUtf8(entry.title));
        }

    // The kept playlist: read, written and read again gives the same list and current entry.
    const PlaylistFormats::TSession session = PlaylistFormats::ParseSession(bytes);
    FUZZ_CHECK(session.current >= -1 && session.current < static_cast<int>(session.entries.size()));
    const PlaylistFormats::TSession again = PlaylistFormats::ParseSession(PlaylistFormats::SessionText(session));
    FUZZ_CHECK(again.entries == session.entries && again.current == session.current);
    // Its own lines: what is read is in range and reads back the same once written.
    const ResumeState::TState state = ResumeState::Parse(bytes);
    FUZZ_CHECK(state.position >= 0.0 && state.position <= 86400.0);
    FUZZ_CHECK((state.listWidth == 0) == (state.listHeight == 0) && state.listWidth >= 0 && state.listHeight >= 0);
    const ResumeState::TState back = ResumeState::Parse(ResumeState::Lines(state));
    FUZZ_CHECK(back.paused == state.paused && back.listWidth == state.listWidth && back.listHeight == state.listHeight);
    FUZZ_CHECK(back.position > state.position - 0.001 && back.position < state.position + 0.001);
    return 0;
}
