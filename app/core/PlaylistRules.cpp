#include "PlaylistRules.h"

#include "AtomicFile.h"
#include "CodePage.h"
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
    const auto decodedToo = [&](const std::string& name) {
        const std::string decoded = PercentDecoded(name);
        if (!decoded.empty() && decoded != name)
            candidates.push_back(InFolder(dir, decoded));
    };
    decodedToo(line);
    if (slashed != line) {
        candidates.push_back(InFolder(dir, slashed));
        decodedToo(slashed);
    }
    return candidates;
}

// The length of the well-formed UTF-8 sequence at text[i] (overlong forms, surrogates and
// values past U+10FFFF refused), 0 when there is none.
size_t Utf8Length(const std::string& text, size_t i)
{
    const auto b0 = static_cast<unsigned char>(text[i]);
    if (b0 < 0x80)
        return 1;
    size_t n = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF)
        n = 2;
    else if (b0 >= 0xE0 && b0 <= 0xEF)
        n = 3, low = b0 == 0xE0 ? 0xA0 : 0x80, high = b0 == 0xED ? 0x9F : 0xBF;
    else if (b0 >= 0xF0 && b0 <= 0xF4)
        n = 4, low = b0 == 0xF0 ? 0x90 : 0x80, high = b0 == 0xF4 ? 0x8F : 0xBF;
    else
        return 0;
    if (text.size() - i < n)
        return 0;
    for (size_t k = 1; k < n; ++k) {
        const auto b = static_cast<unsigned char>(text[i + k]);
        if (b < (k == 1 ? low : 0x80) || b > (k == 1 ? high : 0xBF))
            return 0;
    }
    return n;
}

const char Replacement[] = "\xEF\xBF\xBD";


// UTF-16 after its byte-order mark; half a pair and an odd last byte become U+FFFD.
std::string FromUtf16(const std::string& bytes, bool bigEndian)
{
    std::string out;
    out.reserve(bytes.size());
    const auto unit = [&](size_t i) {
        const auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
        return static_cast<char32_t>(bigEndian ? a << 8 | b : b << 8 | a);
    };
    size_t i = 2;
    for (; i + 1 < bytes.size(); i += 2) {
        const char32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 3 < bytes.size()) {
            const char32_t v = unit(i + 2);
            if (v >= 0xDC00 && v <= 0xDFFF) {
                CodePage::AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00));
                i += 2;
                continue;
            }
        }
        if (u >= 0xD800 && u <= 0xDFFF)
            out += Replacement;
        else
            CodePage::AppendUtf8(out, u);
    }
    if (i < bytes.size())
        out += Replacement;
    return out;
}

// CP932 to UTF-8. The display text's escape byte is no CP932 byte either, so it is a character
// that cannot be read here, whatever follows it.
std::string FromCp932(const std::string& bytes)
{
    std::string out;
    out.reserve(bytes.size() * 3 / 2);
    size_t from = 0;
    for (;;) {
        const size_t escape = bytes.find(static_cast<char>(CodePage::EscapeByte), from);
        out += CodePage::Cp932ToUtf8(std::string_view(bytes).substr(from, escape - from));
        if (escape == std::string::npos)
            return out;
        out += Replacement;
        from = escape + 1;
    }
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

bool IsUtf8(const std::string& text)
{
    for (size_t i = 0; i < text.size();) {
        const size_t n = Utf8Length(text, i);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

TTextEncoding DetectEncoding(const std::string& bytes)
{
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return TTextEncoding::Utf8Bom;
    if (bytes.compare(0, 2, "\xFF\xFE") == 0)
        return TTextEncoding::Utf16Le;
    if (bytes.compare(0, 2, "\xFE\xFF") == 0)
        return TTextEncoding::Utf16Be;
    return IsUtf8(bytes) ? TTextEncoding::Utf8 : TTextEncoding::Cp932;
}

std::string Cp932Text(const std::string& bytes)
{
    return FromCp932(bytes);
}

std::string NativeText(const std::string& bytes)
{
    switch (DetectEncoding(bytes)) {
    case TTextEncoding::Utf8Bom: {
        // A mark put before CP932 text by a careless converter says nothing about the text.
        const std::string rest = bytes.substr(3);
        return IsUtf8(rest) ? rest : FromCp932(rest);
    }
    case TTextEncoding::Utf16Le:
        return FromUtf16(bytes, false);
    case TTextEncoding::Utf16Be:
        return FromUtf16(bytes, true);
    case TTextEncoding::Cp932:
        return FromCp932(bytes);
    case TTextEncoding::Utf8:
        break;
    }
    return bytes;
}

std::string PercentDecoded(const std::string& name)
{
    std::string out;
    out.reserve(name.size());
    for (size_t i = 0; i < name.size(); ++i) {
        const int hi = name[i] == '%' && i + 2 < name.size() ? HexValue(name[i + 1]) : -1;
        const int lo = hi >= 0 ? HexValue(name[i + 2]) : -1;
        if (lo >= 0) {
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else {
            out += name[i];
        }
    }
    // "%00" would cut the name short everywhere it is used.
    if (out.find('\0') != std::string::npos)
        return std::string();
    return out;
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
    // A URI whose escapes would give a NUL names no file.
    return PercentDecoded(rest);
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

std::string ResolveListed(const TListedEntry& entry, const std::string& playlistDir)
{
    const std::string found = ResolveEntry(entry.name, playlistDir);
    if (entry.raw.empty() || Paths::FileExists(found))
        return found;
    const std::string written = ResolveEntry(entry.raw, playlistDir);
    return Paths::FileExists(written) ? written : found;
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
