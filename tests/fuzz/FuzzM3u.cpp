// .m3u reading with the accepted-extension and file-name-part rules. Every entry taken must be a
// whole line with an accepted audio extension; writing the entries and reading them back must
// give the same list; each entry's display name (its file-name part in Shift-JIS) must come out.
#include "FuzzSupport.h"
#include "Paths.h"
#include "PlaylistRules.h"
#include "SjisConv.h"
#include "TStringList.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> entries = PlaylistRules::ParseM3u(bytes);

    TStringList lines;
    lines.SetText(bytes);
    size_t accepted = 0;
    for (const std::string& line : lines.Lines()) {
        FUZZ_CHECK(line.find('\r') == std::string::npos && line.find('\n') == std::string::npos);
        const std::string ext = Paths::ExtractFileExt(line);
        FUZZ_CHECK(ext.empty() || ext[0] == '.');
        FUZZ_CHECK(ext.size() <= line.size() && line.compare(line.size() - ext.size(), ext.size(), ext) == 0);
        FUZZ_CHECK(ext.find('/') == std::string::npos);
        if (PlaylistRules::IsAudioName(line))
            ++accepted;
        (void)PlaylistRules::IsM3uName(line);
        (void)PlaylistRules::IsSmallM3uName(line);
    }
    FUZZ_CHECK(entries.size() == accepted);

    for (const std::string& entry : entries) {
        FUZZ_CHECK(PlaylistRules::IsAudioName(entry));
        const std::string name = Paths::ExtractFileName(entry);
        FUZZ_CHECK(name.size() <= entry.size() && entry.compare(entry.size() - name.size(), name.size(), name) == 0);
        FUZZ_CHECK(name.find('/') == std::string::npos);
        const std::string shown = Utf8ToSjis(name);
        FUZZ_CHECK(shown.find('\0') == std::string::npos);
    }

    const std::string written = PlaylistRules::M3uText(entries);
    FUZZ_CHECK(PlaylistRules::ParseM3u(written) == entries);
    return 0;
}
