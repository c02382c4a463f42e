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

// The name as it stands when absolute, else beside the playlist; empty when there is no folder
// to put a relative name in.
std::string InFolder(const std::string& dir, const std::string& name)
{
    if (name.empty() || name.front() == '/')
        return name;
    if (dir.empty())
        return std::string();
    return AbsoluteName(name, dir);
}

// The places a line may name, in the order they are tried.
std::vector<std::string> Candidates(const std::string& line, const std::string& dir)
{
    std::string slashed = line;
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    std::vector<std::string> candidates{InFolder(dir, line), DecodeFileUri(line)};
    if (slashed != line)
        candidates.push_back(InFolder(dir, slashed));
    return candidates;
}
}

std::string Trimmed(const std::string& text)
{
    static const char blanks[] = " \t\v\f";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(blanks) + 1 - first);
}

bool IsAudioName(const std::string& name)
{
    const std::string ext = Paths::ExtractLowerFileExt(name);
    return ext == ".ogg" || ext == ".qv";
}

bool IsM3uName(const std::string& name)
{
    const std::string ext = Paths::ExtractLowerFileExt(name);
    return ext == ".m3u" || ext == ".m3u8";
}

std::vector<TListedEntry> EntriesOf(const TStringList& lines)
{
    std::vector<TListedEntry> entries;
    std::string title;
    for (const std::string& line : lines.Lines()) {
        const std::string name = Trimmed(line);
        if (name.empty())
            continue;
        if (name.front() == '#') {
            // "#EXTINF:<seconds>,<title>"; any other "#" line is a comment or a directive
            // and leaves a pending title alone.
            if (StartsWithNoCase(name, "#extinf:")) {
                const size_t comma = name.find(',');
                title = comma == std::string::npos ? std::string() : Trimmed(name.substr(comma + 1));
            }
            continue;
        }
        if (IsAudioName(name))
            entries.push_back({line, title});
        title.clear();
    }
    return entries;
}

std::vector<TListedEntry> ParseM3u(const std::string& bytes)
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
    if (line.empty())
        return line;
    const std::string trimmed = Trimmed(line);
    const std::string* texts[] = {&line, trimmed != line ? &trimmed : nullptr};
    for (const std::string* text : texts)
        for (const std::string& candidate : text ? Candidates(*text, playlistDir) : std::vector<std::string>())
            if (!candidate.empty() && Paths::FileExists(candidate))
                return candidate;
    // Nothing there: listed by the name it would have beside the playlist, so that the failure
    // names the file the user looks for.
    const std::string uri = DecodeFileUri(trimmed);
    if (!uri.empty())
        return uri;
    const std::string beside = InFolder(playlistDir, trimmed);
    return beside.empty() ? trimmed : beside;
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
