#include "LoopTags.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

enum class TRole { Start, End, Length, Pair };
// How a value is written: frames or a time; or milliseconds, for the one tag that counts in them.
enum class TUnit { FramesOrTime, Milliseconds };

struct TSpelling {
    const char* name;
    // A field that holds other text too (COMMENT) is a loop tag only when its value opens with
    // `opening`; the loop value follows it, up to `closing`.
    const char* opening;
    const char* closing;
    TRole role;
    TUnit unit;
};
// Every spelling the readers of looped Ogg files take. Files mix families and cases, so any start
// pairs with any end or length.
constexpr TSpelling kSpellings[] = {
    // RPG engines, SDL_mixer and vgmstream: LOOPSTART with LOOPLENGTH, loop editors with LOOPEND.
    {"LOOPSTART", "", "", TRole::Start, TUnit::FramesOrTime},
    {"LOOPLENGTH", "", "", TRole::Length, TUnit::FramesOrTime},
    {"LOOPEND", "", "", TRole::End, TUnit::FramesOrTime},
    // ZMusic (GZDoom) and ports of console games; SDL_mixer takes a hyphen or an underscore after
    // LOOP.
    {"LOOP_START", "", "", TRole::Start, TUnit::FramesOrTime},
    {"LOOP_LENGTH", "", "", TRole::Length, TUnit::FramesOrTime},
    {"LOOP_END", "", "", TRole::End, TUnit::FramesOrTime},
    {"LOOP-START", "", "", TRole::Start, TUnit::FramesOrTime},
    {"LOOP-LENGTH", "", "", TRole::Length, TUnit::FramesOrTime},
    {"LOOP-END", "", "", TRole::End, TUnit::FramesOrTime},
    {"LOOP_BEGIN", "", "", TRole::Start, TUnit::FramesOrTime},
    // Sonic Robo Blast 2 and the games vgmstream knows: a start alone loops to the last frame.
    {"LOOPPOINT", "", "", TRole::Start, TUnit::FramesOrTime},
    {"COMMENT", "LOOPPOINT=", "", TRole::Start, TUnit::FramesOrTime},
    {"LOOPMS", "", "", TRole::Start, TUnit::Milliseconds},
    {"XIPH_CUE_LOOPSTART", "", "", TRole::Start, TUnit::FramesOrTime},
    {"XIPH_CUE_LOOPEND", "", "", TRole::End, TUnit::FramesOrTime},
    {"UM3.STREAM.LOOPPOINT.START", "", "", TRole::Start, TUnit::FramesOrTime},
    // "start,end" in one value.
    {"LOOPDEFS", "", "", TRole::Pair, TUnit::FramesOrTime},
    {"LP", "", "", TRole::Pair, TUnit::FramesOrTime},
    {"COMMENT", "loop(", ")", TRole::Pair, TUnit::FramesOrTime},
};
// No stream holds this many frames; above it a number is taken as an overflow.
constexpr uint64_t kMaxFrames = uint64_t{1} << 53;
constexpr const char* kNotAValue =
    "not a frame number or a time (frames as a whole number, 0 or more; a time as H:M:S.f, M:S.f or S.f)";

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameText(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i]))
            return false;
    return true;
}

std::string_view Trim(std::string_view s)
{
    // Blanks around a number, and the line end some editors leave in a tag, are no part of it.
    const char* blank = " \t\r\n";
    const size_t a = s.find_first_not_of(blank);
    if (a == std::string_view::npos)
        return {};
    return s.substr(a, s.find_last_not_of(blank) - a + 1);
}

struct TMatch {
    const TSpelling* spelling = nullptr;
    std::string_view value;  // the loop value, within the comment
    std::string shown;       // the spelling as written, e.g. "LoopStart" or "COMMENT=loop()"
};

// The spelling a comment is written in, with its loop value; no spelling for any other comment.
TMatch Match(std::string_view comment)
{
    const size_t eq = comment.find('=');
    if (eq == std::string_view::npos)
        return {};
    const std::string_view name = comment.substr(0, eq);
    const std::string_view value = comment.substr(eq + 1);
    for (const auto& s : kSpellings) {
        if (!SameText(name, s.name))
            continue;
        const size_t open = std::strlen(s.opening);
        if (open == 0)
            return {&s, value, std::string(name)};
        if (value.size() >= open && SameText(value.substr(0, open), s.opening)) {
            std::string shown(comment.substr(0, eq + 1 + open));
            if (shown.back() == '=')
                shown.pop_back();
            return {&s, value.substr(open), shown + s.closing};
        }
    }
    return {};
}

enum class TDigits { Ok, NotDigits, TooLarge };

// A run of decimal digits as a number up to kMaxFrames.
TDigits Digits(std::string_view t, uint64_t& out)
{
    if (t.empty())
        return TDigits::NotDigits;
    out = 0;
    for (char c : t) {
        if (c < '0' || c > '9')
            return TDigits::NotDigits;
        const uint64_t d = static_cast<uint64_t>(c - '0');
        if (out > (kMaxFrames - d) / 10)
            return TDigits::TooLarge;
        out = out * 10 + d;
    }
    return TDigits::Ok;
}

// One value as read: its frame (or frame count, for a length) and how it was written.
struct TValue {
    enum Kind { Frames, Time, Milliseconds } kind = Frames;
    int64_t frames = 0;
    // Frames either side of `frames` that the written value stands for: half the step of its
    // last digit. A tag in whole seconds agrees with a frame tag anywhere within that second.
    int64_t slack = 0;
};

// Reads a value; empty when it is one, else why not.
std::string ParseValue(std::string_view written, TUnit unit, int32_t rate, TValue& out)
{
    const std::string_view t = Trim(written);
    const bool millis = unit == TUnit::Milliseconds;
    if (!millis && t.find_first_of(":.") == std::string_view::npos) {
        uint64_t v = 0;
        const TDigits d = Digits(t, v);
        if (d != TDigits::Ok)
            return d == TDigits::TooLarge ? "too large a frame number" : kNotAValue;
        out = {TValue::Frames, static_cast<int64_t>(v), 0};
        return {};
    }
    const char* malformed = millis ? "not a number of milliseconds (a whole or decimal number, 0 or more)" : kNotAValue;
    // Whole units (seconds, or milliseconds), and a fraction of one.
    const size_t point = t.find('.');
    const std::string_view whole = t.substr(0, point);
    const std::string_view fraction = point == std::string_view::npos ? std::string_view{} : t.substr(point + 1);
    if (point != std::string_view::npos && (fraction.empty() || fraction.find_first_not_of("0123456789") != std::string_view::npos))
        return malformed;
    uint64_t units = 0;
    int parts = 0;
    for (size_t from = 0;;) {
        const size_t colon = whole.find(':', from);
        const std::string_view part = whole.substr(from, colon == std::string_view::npos ? colon : colon - from);
        if (++parts > (millis ? 1 : 3))
            return malformed;
        uint64_t v = 0;
        const TDigits d = Digits(part, v);
        if (d != TDigits::Ok)
            return d == TDigits::TooLarge ? "too large a time" : malformed;
        // 1:75 is no time anyone writes: rather a slip than 2:15.
        if (parts > 1 && v >= 60)
            return "minutes and seconds after a colon run from 0 to 59";
        if (units > kMaxFrames / 60)
            return "too large a time";
        units = units * 60 + v;
        if (colon == std::string_view::npos)
            break;
        from = colon + 1;
    }
    if (rate <= 0)
        return "a time, but the stream's rate is not known";
    // Digits past the ninth of a second (the sixth of a millisecond) cannot move the frame.
    uint64_t num = 0, den = 1;
    for (size_t i = 0; i < fraction.size() && i < (millis ? 6u : 9u); ++i) {
        num = num * 10 + static_cast<uint64_t>(fraction[i] - '0');
        den *= 10;
    }
    // frames = (units + num / den) / per * rate, to the nearest frame, in whole numbers: the
    // parts below one second stay below 10^9 before they meet the rate.
    const uint64_t per = millis ? 1000 : 1;
    const uint64_t r = static_cast<uint64_t>(rate);
    const uint64_t seconds = units / per;
    if (seconds > kMaxFrames / r)
        return "too large a time";
    const uint64_t below = (units % per) * den + num;
    const uint64_t step = per * den;
    const uint64_t frames = seconds * r + (2 * below * r + step) / (2 * step);
    if (frames > kMaxFrames)
        return "too large a time";
    out = {millis ? TValue::Milliseconds : TValue::Time, static_cast<int64_t>(frames),
           static_cast<int64_t>((r + 2 * step - 1) / (2 * step))};
    return {};
}

// How a value was read, for the reading shown to the user.
std::string HowRead(const TValue& v, TRole role)
{
    const std::string n = std::to_string(v.frames);
    switch (v.kind) {
    case TValue::Frames:
        return "frames";
    case TValue::Time:
        return role == TRole::Length ? "time, " + n + " frames" : "time, frame " + n;
    case TValue::Milliseconds:
        break;
    }
    return "milliseconds, frame " + n;
}

// What one tag says of the loop: a start, an end, or a length from the start.
struct TClaim {
    TRole role;
    TValue value;
    std::string tag;  // "NAME=value" as written, without a trailing line end
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

// The claim all others agree with: the most precise one, every other within what its own value
// stands for. None when two disagree.
const TClaim* Agreed(const std::vector<TClaim>& claims)
{
    const TClaim* best = &claims.front();
    for (const auto& c : claims)
        if (c.value.slack < best->value.slack)
            best = &c;
    for (const auto& c : claims)
        if (std::llabs(c.value.frames - best->value.frames) > c.value.slack + best->value.slack)
            return nullptr;
    return best;
}

}

TTaggedLoop TLoopTags::Read(const std::vector<std::string>& comments, int64_t totalFrames, int32_t rate)
{
    std::vector<TClaim> starts, ends, lengths;
    std::vector<std::string> names, readings;
    const auto once = [](std::vector<std::string>& list, const std::string& item) {
        if (std::find(list.begin(), list.end(), item) == list.end())
            list.push_back(item);
    };
    for (const auto& comment : comments) {
        const TMatch m = Match(comment);
        if (!m.spelling)
            continue;
        const std::string tag(comment.substr(0, comment.find_last_not_of(" \t\r\n") + 1));
        const TSpelling& s = *m.spelling;
        std::string_view value = m.value;
        if (*s.closing) {
            const size_t close = value.rfind(s.closing);
            if (close == std::string_view::npos || !Trim(value.substr(close + 1)).empty())
                return Bad(tag, std::string("wants start,end and a closing ") + s.closing);
            value = value.substr(0, close);
        }
        if (s.role == TRole::Pair) {
            const size_t comma = value.find(',');
            if (comma == std::string_view::npos)
                return Bad(tag, "wants two values, start,end");
            TValue a, b;
            std::string why = ParseValue(value.substr(0, comma), s.unit, rate, a);
            if (why.empty())
                why = ParseValue(value.substr(comma + 1), s.unit, rate, b);
            if (!why.empty())
                return Bad(tag, why);
            starts.push_back({TRole::Start, a, tag});
            ends.push_back({TRole::End, b, tag});
            const bool frames = a.kind == TValue::Frames && b.kind == TValue::Frames;
            once(readings, tag + " (" +
                               (frames ? "frames"
                                       : "start: " + HowRead(a, TRole::Start) + "; end: " + HowRead(b, TRole::End)) +
                               ")");
            continue;
        }
        TValue v;
        if (const std::string why = ParseValue(value, s.unit, rate, v); !why.empty())
            return Bad(tag, why);
        auto& into = s.role == TRole::Start ? starts : s.role == TRole::End ? ends : lengths;
        into.push_back({s.role, v, tag});
        once(readings, tag + " (" + HowRead(v, s.role) + ")");
    }
    if (starts.empty()) {
        // An end alone names no loop; saying so beats passing the file over as untagged.
        if (!ends.empty() || !lengths.empty())
            return Bad((ends.empty() ? lengths : ends).front().tag, "a loop end without its start");
        return {};
    }
    const TClaim* start = Agreed(starts);
    if (!start)
        return Bad(Listed(starts), "the tags give different loop starts");
    TTaggedLoop r;
    r.Result = TTaggedLoop::Found;
    r.Start = start->value.frames;
    // A length counts from the start: it names the same end as an end tag would.
    for (auto l : lengths) {
        l.value.frames += r.Start;
        l.value.slack += start->value.slack;
        ends.push_back(l);
    }
    const TClaim* end = ends.empty() ? nullptr : Agreed(ends);
    if (!ends.empty() && !end) {
        std::string given;
        for (const auto& x : ends)
            given += (given.empty() ? "" : ", ") + std::to_string(x.value.frames);
        return Bad(Listed(ends), "the tags give different loop ends (" + given + ")");
    }
    // The spellings it came from, each once: starts first, then ends and lengths.
    for (const auto* claims : {&starts, &ends})
        for (const auto& c : *claims)
            once(names, Match(c.tag).shown);
    for (const auto& n : names)
        r.Form += (r.Form.empty() ? "" : "/") + n;
    for (const auto& x : readings)
        r.Reading += (r.Reading.empty() ? "" : " / ") + x;
    if (end)
        r.End = end->value.frames;
    else if (totalFrames > 0)
        r.End = totalFrames;
    const std::string& endTag = end ? end->tag : start->tag;
    if (totalFrames > 0 && *r.End > totalFrames) {
        const int64_t past = *r.End - totalFrames;
        const std::string where = "the loop end (frame " + std::to_string(*r.End) + ") lies " + std::to_string(past) +
                                  " frame" + (past == 1 ? "" : "s") + " past the last frame of the stream (" +
                                  std::to_string(totalFrames) + " frames)";
        // Loop ends rounded up to a whole second or so are common in shipped games, and other
        // players loop them at the stream's end; further out the tag is for another file.
        if (rate <= 0 || past > rate)
            return Bad(endTag, where + ", more than a second");
        r.Warning = endTag + ": " + where + "; the loop runs to the last frame";
        r.End = totalFrames;
    }
    if (r.End && r.Start >= *r.End)
        return Bad(Listed(starts) + (ends.empty() ? "" : ", " + Listed(ends)),
                   "the loop start (" + std::to_string(r.Start) + ") is not before its end (" + std::to_string(*r.End) + ")");
    return r;
}

bool TLoopTags::IsLoopTag(const std::string& comment) { return Match(comment).spelling != nullptr; }
