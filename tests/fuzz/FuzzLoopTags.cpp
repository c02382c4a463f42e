// The loop-tag rules on arbitrary comments: the first byte picks the stream's length (0: unknown),
// the rest are comment lines. A loop found lies within the stream and says which tags it came
// from; a refusal says why; and whether a comment counts as a loop tag decides nothing else.
#include "FuzzSupport.h"
#include "LoopTags.h"

#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const int64_t total = data[0] == 0 ? 0 : int64_t{1} << (data[0] % 56);
    std::vector<std::string> comments;
    std::string line;
    for (size_t i = 1; i < size; ++i) {
        if (data[i] == '\n') {
            comments.push_back(line);
            line.clear();
        } else {
            line += static_cast<char>(data[i]);
        }
    }
    comments.push_back(line);

    const TTaggedLoop r = TLoopTags::Read(comments, total);
    bool anyTag = false;
    for (const auto& c : comments)
        anyTag = anyTag || TLoopTags::IsLoopTag(c);
    switch (r.Result) {
    case TTaggedLoop::None:
        FUZZ_CHECK(!anyTag);
        break;
    case TTaggedLoop::Found:
        FUZZ_CHECK(anyTag && !r.Form.empty() && r.Message.empty());
        FUZZ_CHECK(r.Start >= 0 && (r.End.has_value() || total == 0));
        FUZZ_CHECK(!r.End || r.Start < *r.End);
        FUZZ_CHECK(total == 0 || *r.End <= total);
        break;
    case TTaggedLoop::Bad:
        FUZZ_CHECK(anyTag && !r.Message.empty());
        break;
    }
    return 0;
}
