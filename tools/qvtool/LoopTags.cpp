#include "LoopTags.h"

#include <cerrno>
#include <cstdlib>

namespace {

// Start and end tag names of the forms that keep the two points in tags of their own, in the
// order they are tried. LOOPSTART also takes LOOPLENGTH, handled on its own below.
struct TPairForm {
    const char* start;
    const char* end;
};
constexpr TPairForm kPairs[] = {
    {"LOOPSTART", "LOOPEND"},   {"LOOP_START", "LOOP_END"}, {"LOOP_BEGIN", "LOOP_END"},
    {"LoopStart", "LoopEnd"},   {"loop_start", "loop_end"},
};
constexpr const char* kLength = "LOOPLENGTH";
// Forms that hold both points in one value, "start,end".
constexpr const char* kListForms[] = {"LOOPDEFS", "lp"};
// No stream holds this many frames; above it a number is taken as an overflow.
constexpr unsigned long long kMaxFrames = 1ull << 53;

std::string NameOf(const std::string& comment)
{
    const size_t eq = comment.find('=');
    return eq == std::string::npos ? comment : comment.substr(0, eq);
}

// The value of the first comment named exactly `name`.
std::optional<std::string> Value(const std::vector<std::string>& comments, const std::string& name)
{
    for (const auto& c : comments)
        if (c.size() > name.size() && c[name.size()] == '=' && c.compare(0, name.size(), name) == 0)
            return c.substr(name.size() + 1);
    return std::nullopt;
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

// A frame number: decimal digits only, at most kMaxFrames. On failure says why in `why`.
bool ParseFrame(const std::string& text, int64_t& out, std::string& why)
{
    const std::string t = Trim(text);
    if (t.empty() || t.find_first_not_of("0123456789") != std::string::npos) {
        why = "not a frame number (a whole number, 0 or more)";
        return false;
    }
    errno = 0;
    const unsigned long long v = std::strtoull(t.c_str(), nullptr, 10);
    if (errno == ERANGE || v > kMaxFrames) {
        why = "too large a frame number";
        return false;
    }
    out = static_cast<int64_t>(v);
    return true;
}

TTaggedLoop Bad(const std::string& name, const std::string& value, const std::string& why)
{
    TTaggedLoop r;
    r.Result = TTaggedLoop::Bad;
    r.Message = name + "=" + value + ": " + why;
    return r;
}

TTaggedLoop Frame(TTaggedLoop r, const std::string& name, const std::string& value, bool isEnd)
{
    int64_t v = 0;
    std::string why;
    if (!ParseFrame(value, v, why))
        return Bad(name, value, why);
    if (isEnd)
        r.End = v;
    else
        r.Start = v;
    return r;
}

}

TTaggedLoop TLoopTags::Read(const std::vector<std::string>& comments)
{
    for (const auto& form : kPairs) {
        const auto start = Value(comments, form.start);
        if (!start)
            continue;
        TTaggedLoop r;
        r.Result = TTaggedLoop::Found;
        r = Frame(r, form.start, *start, false);
        if (r.Result == TTaggedLoop::Bad)
            return r;
        const auto length = std::string(form.start) == "LOOPSTART" ? Value(comments, kLength) : std::nullopt;
        if (length) {
            r.Form = std::string(form.start) + "/" + kLength;
            int64_t len = 0;
            std::string why;
            if (!ParseFrame(*length, len, why))
                return Bad(kLength, *length, why);
            r.End = r.Start + len;
            return r;
        }
        const auto end = Value(comments, form.end);
        r.Form = end ? std::string(form.start) + "/" + form.end : std::string(form.start);
        return end ? Frame(r, form.end, *end, true) : r;
    }
    for (const char* name : kListForms) {
        const auto value = Value(comments, name);
        if (!value)
            continue;
        const size_t comma = value->find(',');
        TTaggedLoop r;
        r.Result = TTaggedLoop::Found;
        r.Form = name;
        if (comma != std::string::npos) {
            r = Frame(r, name, value->substr(0, comma), false);
            if (r.Result == TTaggedLoop::Found)
                r = Frame(r, name, value->substr(comma + 1), true);
        }
        if (comma == std::string::npos || r.Result == TTaggedLoop::Bad) {
            // Say which number is wrong, or that the pair is not a pair.
            std::string why = "wants two frame numbers, start,end";
            if (r.Result == TTaggedLoop::Bad)
                why = r.Message.substr(r.Message.rfind(": ") + 2);
            return Bad(name, *value, why);
        }
        return r;
    }
    // An end alone names no loop; saying so beats passing the file over as untagged.
    for (const char* name : {kLength, "LOOPEND", "LOOP_END", "LoopEnd", "loop_end"})
        if (const auto end = Value(comments, name))
            return Bad(name, *end, "a loop end without its start");
    return {};
}

bool TLoopTags::IsLoopTag(const std::string& comment)
{
    const std::string name = NameOf(comment);
    if (name == kLength)
        return true;
    for (const auto& form : kPairs)
        if (name == form.start || name == form.end)
            return true;
    for (const char* list : kListForms)
        if (name == list)
            return true;
    return false;
}
