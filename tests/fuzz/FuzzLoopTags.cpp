// The loop-tag rules on arbitrary comments: the first byte picks the stream's length (0: unknown)
// and its rate (among a few, unknown and extreme ones too), the rest are comment lines. A loop
// found lies within the stream, says which tags it came from and how it read them, and warns only
// of an end moved to the last frame; a refusal says why; and whether a comment counts as a loop
// tag decides nothing else.
#include "FuzzSupport.h"
#include "LoopTags.h"

#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const int64_t total = data[0] == 0 ? 0 : int64_t{1} << (data[0] % 56);
    static constexpr int32_t kRates[] = {44100, 48000, 1, 2147483647, 0};
    const int32_t rate = kRates[data[0] / 56];
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

    const TTaggedLoop r = TLoopTags::Read(comments, total, rate);
    bool anyTag = false;
    for (const auto& c : comments)
        anyTag = anyTag || TLoopTags::IsLoopTag(c);
    switch (r.Result) {
    case TTaggedLoop::None:
        FUZZ_CHECK(!anyTag);
        break;
    case TTaggedLoop::Found:
        FUZZ_CHECK(anyTag && !r.Form.empty() && !r.Reading.empty() && r.Message.empty());
        FUZZ_CHECK(r.Warning.empty() || (total > 0 && *r.End == total));
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
