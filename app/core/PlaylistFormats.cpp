#include "PlaylistFormats.h"

#include "AtomicFile.h"
#include "DesktopBusRules.h"
#include "Paths.h"
#include "TStringList.h"

#include <map>

namespace PlaylistFormats {

namespace {
bool EqualNoCase(const std::string& text, size_t from, size_t length, const char* word)
{
    for (size_t i = 0; i < length; ++i) {
        char c = text[from + i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (word[i] == '\0' || c != word[i])
            return false;
    }
    return word[length] == '\0';
}

// "File12=..." -> key "file", number 12; false for any other line. Numbers beyond nine digits
// name no entry a real list has.
bool SplitNumberedKey(const std::string& line, std::string& key, int& number, std::string& value)
{
    const size_t eq = line.find('=');
    if (eq == std::string::npos)
        return false;
    size_t digits = eq;
    while (digits > 0 && line[digits - 1] >= '0' && line[digits - 1] <= '9')
        --digits;
    if (digits == eq || eq - digits > 9 || digits == 0)
        return false;
    if (EqualNoCase(line, 0, digits, "file"))
        key = "file";
    else if (EqualNoCase(line, 0, digits, "title"))
        key = "title";
    else
        return false;
    number = std::stoi(line.substr(digits, eq - digits));
    value = line.substr(eq + 1);
    return true;
}
}

TKind KindOf(const std::string& name)
{
    const std::string ext = Paths::ExtractLowerFileExt(name);
    if (ext == ".m3u" || ext == ".m3u8")
        return TKind::M3u;
    if (ext == ".pls")
        return TKind::Pls;
    if (ext == ".xspf")
        return TKind::Xspf;
    return TKind::None;
}

bool IsPlaylistName(const std::string& name)
{
    return KindOf(name) != TKind::None;
}

std::string SaveName(const std::string& name)
{
    return KindOf(name) == TKind::None ? name + ".m3u8" : name;
}

std::vector<PlaylistRules::TListedEntry> PlsEntries(const TStringList& lines)
{
    std::map<int, PlaylistRules::TListedEntry> numbered;
    for (const std::string& line : lines.Lines()) {
        std::string key, value;
        int number = 0;
        if (!SplitNumberedKey(PlaylistRules::Trimmed(line), key, number, value))
            continue;
        PlaylistRules::TListedEntry& entry = numbered[number];
        if (key == "file" && entry.name.empty())
            entry.name = value;
        else if (key == "title" && entry.title.empty())
            entry.title = PlaylistRules::Trimmed(value);
    }
    std::vector<PlaylistRules::TListedEntry> entries;
    for (auto& [number, entry] : numbered)
        if (PlaylistRules::IsAudioName(PlaylistRules::Trimmed(entry.name)))
            entries.push_back(std::move(entry));
    return entries;
}

std::vector<PlaylistRules::TListedEntry> TextEntries(TKind kind, const std::string& bytes)
{
    using PlaylistRules::TTextEncoding;
    const TTextEncoding encoding = PlaylistRules::DetectEncoding(bytes);
    const std::string marked = encoding == TTextEncoding::Utf8Bom ? bytes.substr(3) : bytes;
    // CP932 is read as it was written and each entry converted after, so that it keeps the
    // bytes it named; every byte that matters to the reading (line ends, "#", "=", the
    // extension) is ASCII, which CP932 leaves as it is.
    const bool cp932 = encoding == TTextEncoding::Cp932 ||
                       (encoding == TTextEncoding::Utf8Bom && !PlaylistRules::IsUtf8(marked));
    TStringList lines;
    lines.SetText(cp932 ? marked : PlaylistRules::NativeText(bytes));
    std::vector<PlaylistRules::TListedEntry> entries =
        kind == TKind::Pls ? PlsEntries(lines) : PlaylistRules::EntriesOf(lines);
    if (cp932) {
        for (PlaylistRules::TListedEntry& entry : entries) {
            entry.raw = std::move(entry.name);
            entry.name = PlaylistRules::Cp932Text(entry.raw);
            entry.title = PlaylistRules::Cp932Text(entry.title);
        }
    }
    return entries;
}

std::string Text(TKind kind, const std::vector<std::string>& paths)
{
    std::string text;
    switch (kind) {
    case TKind::Pls:
        text = "[playlist]\r\n";
        for (size_t i = 0; i < paths.size(); ++i)
            text += "File" + std::to_string(i + 1) + "=" + paths[i] + "\r\n";
        text += "NumberOfEntries=" + std::to_string(paths.size()) + "\r\nVersion=2\r\n";
        return text;
    case TKind::Xspf:
        // Every byte outside the unreserved set is percent-encoded in a location, so no name
        // needs XML escaping, and a name that is not UTF-8 keeps its bytes.
        text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<playlist version=\"1\" xmlns=\"http://xspf.org/ns/0/\">\n  <trackList>\n";
        for (const std::string& path : paths)
            text += "    <track><location>" + DesktopBusRules::FileUrl(path) + "</location></track>\n";
        text += "  </trackList>\n</playlist>\n";
        return text;
    case TKind::M3u:
    case TKind::None:
        break;
    }
    return PlaylistRules::M3uText(paths);
}

namespace {
const char CurrentLine[] = "#OSTRADIVUVIRAR-CURRENT:";

bool HasLineBreak(const std::string& text)
{
    return text.find_first_of("\r\n") != std::string::npos;
}
}

std::string SessionText(const TSession& session)
{
    std::string entries;
    int current = -1, written = 0;
    for (size_t i = 0; i < session.entries.size(); ++i) {
        const PlaylistRules::TListedEntry& entry = session.entries[i];
        if (entry.name.empty() || HasLineBreak(entry.name))
            continue;
        if (static_cast<int>(i) == session.current)
            current = written;
        std::string title = entry.title;
        for (char& c : title)
            if (c == '\r' || c == '\n')
                c = ' ';
        entries += "#EXTINF:-1," + title + "\r\n" + entry.name + "\r\n";
        ++written;
    }
    return "#EXTM3U\r\n" + std::string(CurrentLine) + std::to_string(current) + (session.playing ? ",playing" : ",stopped") +
           "\r\n" + entries;
}

TSession ParseSession(const std::string& bytes)
{
    TStringList lines;
    lines.SetText(bytes);
    PlaylistRules::DropByteOrderMark(lines);
    TSession session;
    session.entries = PlaylistRules::EntriesOf(lines);
    for (const std::string& line : lines.Lines()) {
        if (line.rfind(CurrentLine, 0) != 0)
            continue;
        const std::string rest = line.substr(sizeof CurrentLine - 1);
        const size_t comma = rest.find(',');
        const std::string number = rest.substr(0, comma);
        if (!number.empty() && number.size() < 10 && number.find_first_not_of("0123456789") == std::string::npos)
            session.current = std::stoi(number);
        session.playing = comma != std::string::npos && rest.substr(comma + 1) == "playing";
        break;
    }
    if (session.current >= static_cast<int>(session.entries.size()))
        session.current = -1;
    if (session.current < 0)
        session.playing = false;
    return session;
}

void Save(const std::string& fileName, const std::vector<std::string>& paths)
{
    const std::string text = Text(KindOf(fileName), paths);
    AtomicFile::Write(fileName, text.data(), text.size());
}

}
