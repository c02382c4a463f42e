#include "PlaylistRules.h"

#include "AtomicFile.h"
#include "Paths.h"
#include "TStringList.h"

namespace PlaylistRules {

bool IsAudioExt(const std::string& ext)
{
    return ext == ".ogg" || ext == ".qv" || ext == ".OGG" || ext == ".QV";
}

bool IsAudioName(const std::string& name)
{
    return IsAudioExt(Paths::ExtractFileExt(name));
}

bool IsSmallM3uName(const std::string& name)
{
    return Paths::ExtractFileExt(name) == ".m3u";
}

bool IsM3uName(const std::string& name)
{
    const std::string ext = Paths::ExtractFileExt(name);
    return ext == ".m3u" || ext == ".M3U";
}

std::vector<std::string> EntriesOf(const TStringList& lines)
{
    std::vector<std::string> entries;
    for (const std::string& line : lines.Lines())
        if (IsAudioName(line))
            entries.push_back(line);
    return entries;
}

std::vector<std::string> ParseM3u(const std::string& bytes)
{
    TStringList lines;
    lines.SetText(bytes);
    return EntriesOf(lines);
}

std::string M3uText(const std::vector<std::string>& paths)
{
    std::string text;
    for (const std::string& path : paths) {
        text += path;
        text += "\r\n";
    }
    return text;
}

void SaveM3u(const std::string& fileName, const std::vector<std::string>& paths)
{
    const std::string text = M3uText(paths);
    AtomicFile::Write(fileName, text.data(), text.size());
}

}
