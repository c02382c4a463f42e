#include "TSkippedNames.h"

#include "Paths.h"

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
        text += "\n" + shown;
    }
    if (count_ > first_.size())
        text += "\nほか" + std::to_string(count_ - first_.size()) + "個";
    return text;
}
