#include "PlaylistRules.h"

#include "AtomicFile.h"
#include "Paths.h"
#include "TStringList.h"

#include <algorithm>
#include <filesystem>

namespace PlaylistRules {

namespace {
bool StartsWithNoCase(const std::string& text, const std::string& prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i])
            return false;
    }
    return true;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string InFolder(const std::string& dir, const std::string& name)
{
    if (dir.empty() || name.empty() || name.front() == '/')
        return std::string();
    return dir.back() == '/' ? dir + name : dir + "/" + name;
}
}

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
    const std::string ext = Paths::ExtractFileExt(name);
    return ext == ".m3u" || ext == ".m3u8";
}

bool IsM3uName(const std::string& name)
{
    const std::string ext = Paths::ExtractFileExt(name);
    return ext == ".m3u" || ext == ".M3U" || ext == ".m3u8" || ext == ".M3U8";
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

void DropByteOrderMark(TStringList& lines)
{
    static const std::string bom = "\xEF\xBB\xBF";
    if (lines.Count() > 0 && lines[0].compare(0, bom.size(), bom) == 0)
        lines[0].erase(0, bom.size());
}

std::string DecodeFileUri(const std::string& line)
{
    if (!StartsWithNoCase(line, "file://"))
        return std::string();
    std::string rest = line.substr(7);
    if (StartsWithNoCase(rest, "localhost/"))
        rest.erase(0, 9);
    // Another host's file is not one of ours.
    if (rest.empty() || rest.front() != '/')
        return std::string();
    std::string path;
    path.reserve(rest.size());
    for (size_t i = 0; i < rest.size(); ++i) {
        const int hi = rest[i] == '%' && i + 2 < rest.size() ? HexValue(rest[i + 1]) : -1;
        const int lo = hi >= 0 ? HexValue(rest[i + 2]) : -1;
        if (lo >= 0) {
            path += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else {
            path += rest[i];
        }
    }
    // "%00" would cut the name short everywhere it is used; such a URI names no file.
    if (path.find('\0') != std::string::npos)
        return std::string();
    return path;
}

std::string ResolveEntry(const std::string& line, const std::string& playlistDir)
{
    if (line.empty() || Paths::FileExists(line))
        return line;
    std::string slashed = line;
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    const std::string candidates[] = {InFolder(playlistDir, line), DecodeFileUri(line),
                                      slashed != line ? slashed : std::string(),
                                      slashed != line ? InFolder(playlistDir, slashed) : std::string()};
    for (const std::string& candidate : candidates)
        if (!candidate.empty() && Paths::FileExists(candidate))
            return candidate;
    return line;
}

std::string AbsoluteName(const std::string& name, const std::string& dir)
{
    if (name.empty() || name.front() == '/' || dir.empty())
        return name;
    return (std::filesystem::path(dir) / name).lexically_normal().string();
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
