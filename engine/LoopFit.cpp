#include "LoopFit.h"

#include "LoopTime.h"
#include "OutputFormat.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <tuple>

namespace {

// Floats either side of the nearest one that are tried; a float more than a few steps from the
// wanted time lands frames away.
constexpr int kNeighbours = 8;
constexpr int64_t kNone = std::numeric_limits<int64_t>::max();

// Picks, among the floats around `ideal`, the one that misses least (by `error`), playing from
// the start first and then at worst, the nearest to `ideal` among equals: the middle of the
// range of times that land on a frame leaves the most room for the rounding of the places
// blocks are measured from.
template <typename ErrorOf>
TLoopFit::TPoint Choose(double ideal, ErrorOf error)
{
    TLoopFit::TPoint best{0.0f, kNone, kNone};
    double bestDistance = 0.0;
    float down = static_cast<float>(ideal);
    float up = down;
    for (int i = 0; i <= kNeighbours; ++i) {
        for (float f : {down, up}) {
            const TLoopFit::TPoint e = error(f);
            const double distance = std::fabs(static_cast<double>(f) - ideal);
            if (std::tie(e.FirstError, e.Error, distance) < std::tie(best.FirstError, best.Error, bestDistance)) {
                best = e;
                bestDistance = distance;
            }
        }
        down = std::nextafter(down, -std::numeric_limits<float>::infinity());
        up = std::nextafter(up, std::numeric_limits<float>::infinity());
    }
    return best;
}

}

TLoopFit::TLoopFit(int32_t rate, int64_t totalFrames)
    : rate_(rate > 0 ? rate : OutputFormat::Rate), total_(std::max<int64_t>(totalFrames, 0)),
      converted_(rate_ != OutputFormat::Rate)
{
}

TLoopFit::TPoint TLoopFit::Start(int64_t frame) const
{
    // The decoder cuts the product toward zero: the middle of the frame is the safest aim.
    return Choose((static_cast<double>(frame) + 0.5) / rate_, [&](float f) {
        const int64_t landed = StartFrame(f);
        const int64_t error = landed < 0 ? kNone : static_cast<int64_t>(std::llabs(landed - frame));
        return TPoint{f, error, error};
    });
}

TLoopFit::TPoint TLoopFit::End(int64_t frame) const
{
    // A time lands on the frame when it lies from 1/8 frame before it to 7/8 after (the byte
    // nearest to it, cut to a frame): aim at the middle of that.
    return Choose((static_cast<double>(frame) + 0.375) / rate_, [&](float f) { return EndError(f, frame); });
}

int64_t TLoopFit::StartFrame(float time) const
{
    const int64_t frame = LoopTime::SeekFrame(static_cast<double>(time), rate_);
    // The decoder refuses a time at or past the end: playback then goes on where it is.
    return total_ > 0 && frame >= total_ ? -1 : frame;
}

int64_t TLoopFit::EndFrame(float time) const
{
    if (!std::isfinite(time) || time < 0.0f)
        return -1;
    if (total_ > 0 && !LoopTime::EndInStream(time, static_cast<float>(static_cast<double>(total_) / rate_)))
        return -1;
    // Blocks follow one another from the start, and the first block the end falls within
    // jumps: the one holding the frame the time names, or the one before when the end lies at
    // its very edge, or the one after when rounding carries the end past it.
    const int64_t block = LoopTime::BlockFrames(converted_);
    const int64_t guess = LoopTime::SeekFrame(static_cast<double>(time), rate_);
    if (guess < 0)
        return -1;
    const int64_t first = guess / block * block;
    for (int64_t from = std::max<int64_t>(first - block, 0); from <= first + block; from += block) {
        const int64_t landed = LoopTime::EndFrame(time, from, block, rate_, converted_);
        if (landed >= 0)
            return total_ > 0 ? std::min(landed, total_) : landed;
    }
    return -1;
}

TLoopFit::TPoint TLoopFit::EndError(float time, int64_t frame) const
{
    const int64_t first = EndFrame(time);
    TPoint point{time, first < 0 ? kNone : static_cast<int64_t>(std::llabs(first - frame)), 0};
    // After a seek, a jump or a pause a block can start at any frame, so every start from a
    // whole block before the end up to the end itself is tried. A block that ends right at the
    // end need not see it: the next one starts there.
    const int64_t block = LoopTime::BlockFrames(converted_);
    for (int64_t from = std::max<int64_t>(frame - block, 0); from <= frame; ++from) {
        int64_t landed = LoopTime::EndFrame(time, from, block, rate_, converted_);
        if (landed < 0) {
            if (from + block <= frame)
                continue;
            point.Error = kNone;  // a block over the end that would play on past it
            break;
        }
        if (total_ > 0)
            landed = std::min(landed, total_);  // the data ends first: the jump is taken there
        point.Error = std::max<int64_t>(point.Error, std::llabs(landed - frame));
    }
    point.Error = std::max(point.Error, point.FirstError);
    return point;
}
