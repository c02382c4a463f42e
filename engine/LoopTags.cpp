#include "LoopTags.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string_view>

namespace {

enum class TRole { Start, End, Length, Pair };

struct TSpelling {
    const char* name;
    TRole role;
};
// RPG engines write LOOPSTART with LOOPLENGTH, ports of other games LOOP_START with LOOP_END,
// loop editors LOOPSTART with LOOPEND; files mix them, and write them in any case.
constexpr TSpelling kSpellings[] = {
    {"LOOPSTART", TRole::Start},   {"LOOP_START", TRole::Start},   {"LOOP_BEGIN", TRole::Start},
    {"LOOPEND", TRole::End},       {"LOOP_END", TRole::End},       {"LOOPLENGTH", TRole::Length},
    {"LOOP_LENGTH", TRole::Length}, {"LOOPDEFS", TRole::Pair},      {"LP", TRole::Pair},
};
// No stream holds this many frames; above it a number is taken as an overflow.
constexpr unsigned long long kMaxFrames = 1ull << 53;

bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto up = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
        if (up(a[i]) != up(b[i]))
            return false;
    }
    return true;
}

const TSpelling* SpellingOf(std::string_view name)
{
    for (const auto& s : kSpellings)
        if (SameName(name, s.name))
            return &s;
    return nullptr;
}

std::string Trim(const std::string& s)
{
    // Blanks around a number, and the line end some editors leave in a tag, are no part of it.
    const char* blank = " \t\r\n";
    const size_t a = s.find_first_not_of(blank);
    if (a == std::string::npos)
        return "";
    return s.substr(a, s.find_last_not_of(blank) - a + 1);
}

// A frame number: decimal digits only, at most kMaxFrames. Empty when it is one, else why not.
std::string ParseFrame(const std::string& text, int64_t& out)
{
    const std::string t = Trim(text);
    if (t.empty() || t.find_first_not_of("0123456789") != std::string::npos)
        return "not a frame number (a whole number, 0 or more)";
    errno = 0;
    const unsigned long long v = std::strtoull(t.c_str(), nullptr, 10);
    if (errno == ERANGE || v > kMaxFrames)
        return "too large a frame number";
    out = static_cast<int64_t>(v);
    return {};
}

// What one tag says of the loop: a start, an end, or a length from the start.
struct TClaim {
    TRole role;
    int64_t frame;
    std::string tag;  // "NAME=value" as written
    std::string name;
};

TTaggedLoop Bad(const std::string& tags, const std::string& why)
{
    TTaggedLoop r;
    r.Result = TTaggedLoop::Bad;
    r.Message = tags + ": " + why;
    return r;
}

// "A=1, B=2" of the claims of one role.
std::string Listed(const std::vector<TClaim>& claims)
{
    std::string out;
    for (const auto& c : claims)
        out += (out.empty() ? "" : ", ") + c.tag;
    return out;
}

}

TTaggedLoop TLoopTags::Read(const std::vector<std::string>& comments, int64_t totalFrames)
{
    std::vector<TClaim> starts, ends;
    std::vector<TClaim> lengths;
    for (const auto& comment : comments) {
        const size_t eq = comment.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string name = comment.substr(0, eq);
        const TSpelling* spelling = SpellingOf(name);
        if (!spelling)
            continue;
        const std::string value = comment.substr(eq + 1);
        int64_t frame = 0;
        if (spelling->role == TRole::Pair) {
            const size_t comma = value.find(',');
            if (comma == std::string::npos)
                return Bad(comment, "wants two frame numbers, start,end");
            int64_t end = 0;
            std::string why = ParseFrame(value.substr(0, comma), frame);
            if (why.empty())
                why = ParseFrame(value.substr(comma + 1), end);
            if (!why.empty())
                return Bad(comment, why);
            starts.push_back({TRole::Start, frame, comment, name});
            ends.push_back({TRole::End, end, comment, name});
            continue;
        }
        if (const std::string why = ParseFrame(value, frame); !why.empty())
            return Bad(comment, why);
        auto& into = spelling->role == TRole::Start ? starts : spelling->role == TRole::End ? ends : lengths;
        into.push_back({spelling->role, frame, comment, name});
    }
    if (starts.empty()) {
        // An end alone names no loop; saying so beats passing the file over as untagged.
        if (!ends.empty() || !lengths.empty())
            return Bad((ends.empty() ? lengths : ends).front().tag, "a loop end without its start");
        return {};
    }
    for (const auto& s : starts)
        if (s.frame != starts.front().frame)
            return Bad(Listed(starts), "the tags give different loop starts");
    TTaggedLoop r;
    r.Result = TTaggedLoop::Found;
    r.Start = starts.front().frame;
    // A length counts from the start: it names the same end as an end tag would.
    for (auto& l : lengths) {
        l.frame += r.Start;
        ends.push_back(l);
    }
    for (const auto& e : ends)
        if (e.frame != ends.front().frame) {
            std::string given;
            for (const auto& x : ends)
                given += (given.empty() ? "" : ", ") + std::to_string(x.frame);
            return Bad(Listed(ends), "the tags give different loop ends (" + given + ")");
        }
    // The spellings it came from, each once: starts first, then ends.
    std::vector<std::string> names;
    for (const auto* claims : {&starts, &ends})
        for (const auto& c : *claims)
            if (std::find(names.begin(), names.end(), c.name) == names.end()) {
                r.Form += (names.empty() ? "" : "/") + c.name;
                names.push_back(c.name);
            }
    if (!ends.empty())
        r.End = ends.front().frame;
    else if (totalFrames > 0)
        r.End = totalFrames;
    const std::string& endTag = ends.empty() ? starts.front().tag : ends.front().tag;
    if (totalFrames > 0 && *r.End > totalFrames)
        return Bad(endTag, "the loop end (frame " + std::to_string(*r.End) + ") lies past the last frame of the stream (" +
                               std::to_string(totalFrames) + " frames)");
    if (r.End && r.Start >= *r.End)
        return Bad(Listed(starts) + (ends.empty() ? "" : ", " + Listed(ends)),
                   "the loop start (" + std::to_string(r.Start) + ") is not before its end (" + std::to_string(*r.End) + ")");
    return r;
}

bool TLoopTags::IsLoopTag(const std::string& comment)
{
    // A comment without "=" is no field at all, as Read takes it.
    const size_t eq = comment.find('=');
    return eq != std::string::npos && SpellingOf(std::string_view(comment).substr(0, eq)) != nullptr;
}
