#include "LoopTime.h"

#include "OutputFormat.h"

#include <algorithm>
#include <cmath>

namespace LoopTime {

namespace {
// Beyond this many frames a time names no frame any stream holds; it also keeps the products
// below within a 64-bit integer.
constexpr double kMaxFrames = 9.0e15;
}

double BlockTime(double exact, bool converted)
{
    return converted ? exact : static_cast<double>(static_cast<float>(exact));
}

bool EndInSpan(float loopEnd, double now, double span)
{
    return loopEnd >= now && now + span >= loopEnd;
}

bool EndInStream(float loopEnd, float totalTime)
{
    return loopEnd <= totalTime + 0.001f;
}

int64_t BytesToEnd(float loopEnd, double now, int32_t bytesPerSecond)
{
    const double bytes = (static_cast<double>(loopEnd) - now) * bytesPerSecond;
    return static_cast<int64_t>(std::nearbyint(bytes)) & ~int64_t{3};
}

int64_t SeekFrame(double seconds, int32_t rate)
{
    const double frames = seconds * rate;
    if (!(frames >= 0.0) || frames > kMaxFrames)
        return -1;
    return static_cast<int64_t>(frames);
}

int64_t EndFrame(float loopEnd, int64_t from, int64_t blockFrames, int32_t rate, bool converted)
{
    if (rate <= 0 || !std::isfinite(loopEnd) || static_cast<double>(loopEnd) * rate > kMaxFrames)
        return -1;
    const double now = BlockTime(static_cast<double>(from) / rate, converted);
    if (!EndInSpan(loopEnd, now, static_cast<double>(blockFrames) / rate))
        return -1;
    const int64_t frames = BytesToEnd(loopEnd, now, rate * OutputFormat::BytesPerFrame) / OutputFormat::BytesPerFrame;
    return from + std::min(std::max(frames, int64_t{0}), blockFrames);
}

int64_t BlockFrames(bool converted)
{
    return converted ? SourceChunkFrames : OutputFormat::BlockBytes / OutputFormat::BytesPerFrame;
}

}
