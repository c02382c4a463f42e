#pragma once
// TLoopTags: loop points written as Vorbis comments by other tools and game engines, read as
// frame numbers at the file's own rate. Names are matched exactly as listed in LoopTags.cpp.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct TTaggedLoop {
    enum Kind { None, Found, Bad };
    Kind Result = None;
    int64_t Start = 0;
    std::optional<int64_t> End;  // none: the loop runs to the last frame
    std::string Form;            // the tags it came from, e.g. "LOOPSTART/LOOPLENGTH"
    std::string Message;         // why the tags were refused (Bad)
};

class TLoopTags {
public:
    // The loop the comments ("NAME=value") describe; the first form found in the order of the
    // table wins.
    static TTaggedLoop Read(const std::vector<std::string>& comments);
    // True for a comment that is one of the loop tags read here, whatever its value.
    static bool IsLoopTag(const std::string& comment);
};
