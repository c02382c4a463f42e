// .m3u reading with the accepted-extension and file-name-part rules. Every entry taken must be a
// whole line, not a "#" line, with an accepted audio extension once the white space around it
// is left aside; writing the entries and reading them back must give the same names; each
// entry's display name (its file-name part in Shift-JIS) must come out. Whatever the bytes'
// encoding, the text read from them is UTF-8 with its line breaks where they were (UTF-16
// aside, whose breaks are two bytes), and a name's escapes decode to no NUL and no longer name.
#include "FuzzSupport.h"
#include "Paths.h"
#include "PlaylistRules.h"
#include "SjisConv.h"
#include "TStringList.h"

#include <algorithm>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> entries;
    for (const PlaylistRules::TListedEntry& entry : PlaylistRules::ParseM3u(bytes)) {
        FUZZ_CHECK(entry.title.find('\n') == std::string::npos);
        entries.push_back(entry.name);
    }

    TStringList lines;
    lines.SetText(bytes);
    for (const std::string& line : lines.Lines()) {
        FUZZ_CHECK(line.find('\r') == std::string::npos && line.find('\n') == std::string::npos);
        const std::string ext = Paths::ExtractFileExt(line);
        FUZZ_CHECK(ext.empty() || ext[0] == '.');
        FUZZ_CHECK(ext.size() <= line.size() && line.compare(line.size() - ext.size(), ext.size(), ext) == 0);
        FUZZ_CHECK(ext.find('/') == std::string::npos);
        (void)PlaylistRules::IsM3uName(line);
    }
    FUZZ_CHECK(entries.size() <= static_cast<size_t>(lines.Count()));

    for (const std::string& entry : entries) {
        const size_t first = entry.find_first_not_of(" \t\v\f");
        FUZZ_CHECK(first != std::string::npos && entry[first] != '#');
        FUZZ_CHECK(PlaylistRules::IsAudioName(entry.substr(first, entry.find_last_not_of(" \t\v\f") + 1 - first)));
        const std::string name = Paths::ExtractFileName(entry);
        FUZZ_CHECK(name.size() <= entry.size() && entry.compare(entry.size() - name.size(), name.size(), name) == 0);
        FUZZ_CHECK(name.find('/') == std::string::npos);
        const std::string shown = Utf8ToSjis(name);
        FUZZ_CHECK(shown.find('\0') == std::string::npos);
    }

    using PlaylistRules::TTextEncoding;
    const std::string text = PlaylistRules::NativeText(bytes);
    FUZZ_CHECK(PlaylistRules::IsUtf8(text));
    const TTextEncoding encoding = PlaylistRules::DetectEncoding(bytes);
    if (encoding != TTextEncoding::Utf16Le && encoding != TTextEncoding::Utf16Be) {
        for (const char end : {'\r', '\n'})
            FUZZ_CHECK(std::count(text.begin(), text.end(), end) == std::count(bytes.begin(), bytes.end(), end));
    }
    if (encoding == TTextEncoding::Utf8)
        FUZZ_CHECK(text == bytes);
    for (const std::string& entry : entries) {
        const std::string decoded = PlaylistRules::PercentDecoded(entry);
        FUZZ_CHECK(decoded.find('\0') == std::string::npos && decoded.size() <= entry.size());
        FUZZ_CHECK(!PlaylistRules::ResolveEntry(entry, "/nonexistent-fuzz-folder/").empty());
    }

    const std::string written = PlaylistRules::M3uText(entries);
    std::vector<std::string> again;
    for (const PlaylistRules::TListedEntry& entry : PlaylistRules::ParseM3u(written))
        again.push_back(entry.name);
    FUZZ_CHECK(again == entries);
    return 0;
}
