#pragma once
// The names an add passed over because they could not be taken in: a file that cannot be read
// or is not Ogg Vorbis, a playlist that cannot be opened, a folder that cannot be listed. An
// add goes on past them and says so once at its end, in one message, instead of stopping at
// the first: a folder of music often holds an Opus or FLAC file named ".ogg".
#include <string>
#include <vector>

class TSkippedNames {
public:
    // How many names the message lists before it only counts the rest.
    static constexpr size_t kNamed = 3;

    void Add(const std::string& name);
    size_t Count() const { return count_; }
    bool Empty() const { return count_ == 0; }
    // The first kNamed names passed over, in the order they came.
    const std::vector<std::string>& FirstNames() const { return first_; }

    // The message for the end of the add (UTF-8), empty when nothing was passed over:
    //   読み込めないファイルを5個飛ばしました。
    //   a.ogg
    //   b.ogg
    //   c.ogg
    //   ほか2個
    // Each name is shown by its file-name part, on one line: control characters as "?", and a
    // long name by its first and last 24 characters around "…".
    std::string Message() const;

private:
    std::vector<std::string> first_;
    size_t count_ = 0;
};
