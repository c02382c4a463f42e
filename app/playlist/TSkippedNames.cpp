#include "TSkippedNames.h"

#include "Paths.h"

namespace {
// A name is shown on one line of bounded width: a message box grows to its longest line, and a
// name of a few hundred characters pushed the box, and the lines after it, off the screen.
constexpr size_t kShownEnds = 24;  // characters kept at each end of a long name

bool StartsCharacter(unsigned char byte)
{
    return (byte & 0xC0) != 0x80;
}

std::string OneLine(const std::string& name)
{
    std::vector<size_t> starts;  // where each character begins
    for (size_t i = 0; i < name.size(); ++i)
        if (StartsCharacter(static_cast<unsigned char>(name[i])))
            starts.push_back(i);
    std::string shown = name;
    if (starts.size() > 2 * kShownEnds + 1) {
        shown.assign(name, 0, starts[kShownEnds]);
        shown += "…";
        shown.append(name, starts[starts.size() - kShownEnds]);
    }
    // A line break or other control character in a name would break the message's lines.
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    return shown;
}
}

void TSkippedNames::Add(const std::string& name)
{
    if (first_.size() < kNamed)
        first_.push_back(name);
    ++count_;
}

std::string TSkippedNames::Message() const
{
    if (count_ == 0)
        return std::string();
    std::string text = "読み込めないファイルを" + std::to_string(count_) + "個飛ばしました。";
    for (const std::string& name : first_) {
        // A folder given with a trailing "/" is still shown by its own name.
        std::string shown = Paths::ExtractFileName(name);
        if (shown.empty())
            shown = name;
        text += '\n';
        text += OneLine(shown);
    }
    if (count_ > first_.size())
        text += "\nほか" + std::to_string(count_ - first_.size()) + "個";
    return text;
}
