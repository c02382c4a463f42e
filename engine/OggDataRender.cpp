// TOggData: rendering, play state, volumes and the loop step.
// Loading, the container and construction live in OggDataLib.cpp; the equaliser and the output
// analysis in OggDataEQ.cpp.
#include "OggDataLib.h"
#include "LoopTime.h"
#include "OggWuvorbisLib.h"
#include "RateConverter.h"
#include "TickCount.h"
#include "TVolumeGain.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int32_t kBytesPerSecond = OutputFormat::BytesPerSecond;
constexpr double kRestartSeconds = 0.001;
// Jumps taken within one block at most: each is a decoder seek, and loops of a few
// milliseconds are not music; this bounds the work of a block whatever the table holds.
constexpr int32_t kMaxJumpsPerBlock = 256;
// The decoder's result for data lost from the stream (OV_HOLE), and how many in a row are
// passed over before the data counts as failed.
constexpr int32_t kHole = -3;
constexpr int32_t kMaxHoles = 64;

}

// ---------------------------------------------------------------------------------------------
// Rendering

void TOggData::Rendering()
{
    std::lock_guard<std::recursive_mutex> lock(RenderLock);
    const int32_t half = static_cast<int32_t>(RenderBuffer->Size() / 2);
    RenderOffset.store(RenderOffset.load() == 0 ? half : 0);
    RenderingToPointer(Offset(), half);
    PublishPosition(true, RenderOffset.load(), half);
}

int32_t TOggData::RenderBlock(std::span<uint8_t> first, std::span<uint8_t> second, bool silent)
{
    std::lock_guard<std::recursive_mutex> lock(RenderLock);
    const auto half = static_cast<int32_t>(RenderBuffer->Size() / 2);
    RenderOffset.store(RenderOffset.load() == 0 ? half : 0);
    return RenderRange(RenderOffset.load(), half, first, second, silent, true);
}

int32_t TOggData::RenderAgain(int32_t bytes, std::span<uint8_t> first, std::span<uint8_t> second, bool silent)
{
    std::lock_guard<std::recursive_mutex> lock(RenderLock);
    const auto size = static_cast<int32_t>(RenderBuffer->Size());
    if (size < 4)
        return 0;
    bytes = std::clamp(bytes, 0, size) & ~3;
    // The newest block ends at the end of its half; the range ends there too.
    const int32_t end = RenderOffset.load() + size / 2;
    const int32_t from = ((end - bytes) % size + size) % size;
    return RenderRange(from, bytes, first, second, silent, false);
}

int32_t TOggData::RenderRange(int32_t from, int32_t bytes, std::span<uint8_t> first, std::span<uint8_t> second,
                              bool silent, bool newBlock)
{
    std::lock_guard<std::recursive_mutex> lock(RenderLock);
    const auto size = static_cast<int32_t>(RenderBuffer->Size());
    from = std::clamp(from, 0, size);
    bytes = std::clamp(bytes, 0, size);
    // Cleared first: a range that decodes nothing, because the piece has ended or a fade-out has
    // paused it, is then silence rather than the sound of two blocks before.
    const int32_t inPlace = std::min(bytes, size - from);
    uint8_t* range = Memory() + from;
    if (inPlace < bytes) {
        WrapScratch.assign(static_cast<size_t>(bytes), 0);
        range = WrapScratch.data();
    } else if (bytes > 0) {
        std::memset(range, 0, static_cast<size_t>(bytes));
    }
    const int32_t rendered = std::max(RenderInto(range, bytes, newBlock), 0);
    if (inPlace < bytes) {
        std::memcpy(Memory() + from, range, static_cast<size_t>(inPlace));
        std::memcpy(Memory(), range + inPlace, static_cast<size_t>(bytes - inPlace));
    }

    auto put = [&](std::span<uint8_t> to, size_t at, size_t n) {
        if (n == 0)
            return;
        if (silent)
            std::memset(to.data(), 0, n);
        else
            std::memcpy(to.data(), range + at, n);
    };
    const auto total = static_cast<size_t>(bytes);
    const size_t n1 = std::min(first.size(), total);
    put(first, 0, n1);
    put(second, n1, std::min(second.size(), total - n1));
    PublishPosition(true, from, inPlace);
    if (inPlace < bytes)
        PublishPosition(true, 0, bytes - inPlace);
    return rendered;
}

bool TOggData::IsBusy()
{
    return Busy.load();
}

int32_t TOggData::RenderingToPointer(void* dest, int32_t bytes)
{
    return RenderInto(dest, bytes, true);
}

int32_t TOggData::RenderInto(void* dest, int32_t bytes, bool newBlock)
{
    // A finished fade-out stops playback at the start of the next block.
    if (GetNowVolume() < 0.01f && GetSetVolume() < 0.01f)
        Pause();
    if (!Loaded.load() || !Playing.load())
        return 0;
    if (dest == nullptr || bytes < 4)
        return 0;
    const int32_t n = bytes & ~3;
    auto* p = static_cast<uint8_t*>(dest);

    std::lock_guard<std::recursive_mutex> lock(RenderLock);
    // Init or Stop may have run between the check above and taking the lock.
    if (!Loaded.load() || !Playing.load())
        return 0;
    Busy.store(true);
    if (newBlock)
        RenderTick.store(TickCount::Get());
    markLimit_ = n;
    blockMarks_.clear();
    blockMarks_.push_back({0, DecoderTime(), History.Jumps(), History.Passes()});
    markBase_ = 0;

    const int32_t result = RenderLinks(p, n);
    if (result <= 0)
        blockMarks_.clear();

    ApplyEQ(reinterpret_cast<PLRWavePack>(p), n);
    ApplyVolume(reinterpret_cast<PLRWavePack>(p), n / 4);
    // A block rendered into the render memory is published with it by Rendering or RenderBlock.
    if (p < Memory() || p >= Memory() + RenderBuffer->Size())
        PublishPosition();

    Busy.store(false);
    return result;
}

int32_t TOggData::RenderSource(uint8_t* p, int32_t n)
{
    // The decoder's exact place (less what was read ahead of a change of link). Converted
    // streams take it whole, so that a loop end becomes the same source frame wherever a chunk of
    // source happens to begin; on the direct path it is the float the block has always been
    // measured from. Loops met at frames take the frame it names, which its time gives exactly.
    auto exactTell = [&]() -> double {
        return _VorbisfileDll == nullptr ? 0.0 : SourceTell();
    };
    const int32_t rate = Rate > 0 ? Rate : OutputFormat::Rate;
    double exact = exactTell();
    double now = LoopTime::BlockTime(exact, Converter != nullptr);
    int64_t frame = std::llround(exact * rate);
    const int32_t bytesPerSecond = SourceBytesPerSecond();
    DataEnded = false;

    // Loop points that playback has passed are armed again for the next time they are reached.
    for (int32_t i = 0; i < 16; ++i)
        if (ByFrames(i) ? LoopFrames[i].End < frame : Loops[i].LoopEnd < now)
            LoopCounter[i].store(0);

    // The loop step. The first entry (in index order) whose end falls within the rest of the
    // block and that has jumps left fires: the block is decoded up to its end (the whole frame
    // nearest to its time, or its very frame), the decoder jumps to its start, and the rest of
    // the block is checked again from there, so that a loop shorter than a block keeps looping
    // instead of playing on past its end.
    uint8_t* cursor = p;
    int32_t remaining = n;
    int32_t result = 0;
    for (int32_t jumps = 0; jumps < kMaxJumpsPerBlock && remaining > 0; ++jumps) {
        const double span = static_cast<double>(remaining) / bytesPerSecond;
        // Frames of the piece count at its first link's rate (as PcmBytes does); the block's at
        // the rate of the link being played. One and the same for a single stream.
        const int64_t frames = int64_t{remaining} * rate / bytesPerSecond;
        int32_t due = -1;
        for (int32_t i = 0; i < 16 && due < 0; ++i) {
            const TOggLoop& e = Loops[i];
            bool reached = false;
            if (ByFrames(i)) {
                reached = LoopFrames[i].End >= frame && LoopFrames[i].End <= frame + frames;
            } else {
                // A loop end beyond the end of the stream is never reached.
                reached = LoopTime::EndInStream(e.LoopEnd, TotalTime) && LoopTime::EndInSpan(e.LoopEnd, now, span);
            }
            const bool left = e.RepeatCount == -1 || e.RepeatCount > LoopCounter[i].load();
            if (reached && left)
                due = i;
        }
        if (due < 0)
            break;
        const TOggLoop& e = Loops[due];
        const bool byFrames = ByFrames(due);
        const TLoopHistory::TCounters before = Counters();
        if (e.RepeatCount != -1)
            LoopCounter[due].fetch_add(1);
        const int64_t toEnd = byFrames ? (LoopFrames[due].End - frame) * bytesPerSecond / rate & ~int64_t{3}
                                       : LoopTime::BytesToEnd(e.LoopEnd, now, bytesPerSecond);
        const int64_t len = std::clamp<int64_t>(toEnd, 0, remaining);
        // If the data ends before the loop end (an end at the stream's own end), the jump is
        // taken right there, so the join stays gapless and playback does not stop.
        const int32_t taken = FillBlock(cursor, static_cast<int32_t>(len), true);
        result += taken;
        cursor += taken;
        remaining -= taken;
        if (DataEnded)
            break;
        // The data went on into another link short of the end: an end further on lies in that
        // link, to be met there on that link's path, so this entry has not fired yet.
        const double endTime = byFrames ? static_cast<double>(LoopFrames[due].End) / rate : e.LoopEnd;
        if (LinkPending() && EndPastSeam(endTime)) {
            if (e.RepeatCount != -1)
                LoopCounter[due].fetch_sub(1);
            break;
        }
        // A start frame is sought by the time of its middle, which the decoder cuts down to it.
        const double to = byFrames ? (static_cast<double>(LoopFrames[due].Start) + 0.5) / rate : e.LoopStart;
        if (SourceSeek(to) < 0)
            break;  // a start the decoder cannot seek to: play on from here
        exact = exactTell();
        now = LoopTime::BlockTime(exact, Converter != nullptr);
        frame = std::llround(exact * rate);
        History.Add({due, endTime, now, before, CountsAsPass(due)});
        MarkJump(static_cast<int32_t>(cursor - p), now);
        // A jump into another link: the rest of the block is rendered on that link's path.
        if (LinkPending())
            break;
        // A jump that advanced nothing (a loop of no length) is not repeated within the block.
        if (taken == 0 && jumps > 0)
            break;
    }
    if (remaining > 0 && !DataEnded)
        result += FillBlock(cursor, remaining);
    else if (remaining > 0)
        std::memset(cursor, 0, static_cast<size_t>(remaining));
    return result;
}

// The fade works on locals for speed and is published at the end; the gain lock keeps a
// SetVolume from the caller's thread from being overwritten by the block's final store. The
// arithmetic is TVolumeGain's: full volume passes the decode as it is.
void TOggData::ApplyVolume(PLRWavePack frames, int32_t count)
{
    const int32_t master = MasterVolume.load();
    const int32_t channel = ChannelVolume.load();
    std::lock_guard<std::mutex> lock(GainLock);
    int32_t now = OggVolume.Now.load();
    int32_t step = OggVolume.Step.load();
    const int32_t target = OggVolume.Target.load();
    if (step == 0) {
        // No fade in progress: one gain for the whole block.
        const int64_t g = TVolumeGain::Gain(now, master, channel);
        if (g == TVolumeGain::Unity)
            return;
        for (int32_t i = 0; i < count; ++i) {
            frames[i].L = TVolumeGain::Scale(frames[i].L, g);
            frames[i].R = TVolumeGain::Scale(frames[i].R, g);
        }
        return;
    }
    for (int32_t i = 0; i < count; ++i) {
        if (step != 0) {
            const int64_t distance = std::llabs(static_cast<int64_t>(target) - now);
            if (distance < std::llabs(static_cast<int64_t>(step))) {
                now = target;
                step = 0;
            }
            now += step;
        }
        const int64_t g = TVolumeGain::Gain(now, master, channel);
        frames[i].L = TVolumeGain::Scale(frames[i].L, g);
        frames[i].R = TVolumeGain::Scale(frames[i].R, g);
    }
    OggVolume.Now.store(now);
    OggVolume.Step.store(step);
}

int32_t TOggData::FillBlock(uint8_t* dest, int32_t len, bool stopAtEnd)
{
    int32_t remaining = len;
    // Bytes decoded since the last restart; a restart that yields nothing means the stream
    // has no data to repeat, and the block must end instead of spinning.
    bool restarted = false;
    int32_t sinceRestart = 0;
    int32_t holes = 0;
    while (remaining > 0) {
        const int32_t r = ReadBlock(dest, remaining);
        // The next frames are another link's: the range ends here, for that link's path.
        if (r == LinkChange) {
            std::memset(dest, 0, static_cast<size_t>(remaining));
            return len - remaining;
        }
        // A hole is data lost from the stream (a damaged or missing page); the decoder goes on
        // after it. Only an endless run of them is taken as the data failing.
        if (r == kHole && ++holes < kMaxHoles)
            continue;
        if (r == 0 && stopAtEnd)
            return len - remaining;
        const bool dead = restarted && sinceRestart == 0;
        if (r == 0 && LoopPlay.load() && !dead) {
            SourceSeek(kRestartSeconds);
            restarted = true;
            sinceRestart = 0;
            continue;
        }
        if (r <= 0) {
            // The end of the data, or data that cannot be decoded (a decoder error, a stream that
            // cannot be rendered): the piece ends either way, so that the player moves on rather
            // than play silence for ever. Repeating would only bring the failure round again.
            EndOfData(!dead);
            std::memset(dest, 0, static_cast<size_t>(remaining));
            return len - remaining;
        }
        const int32_t used = std::min(r, remaining);
        dest += used;
        remaining -= used;
        sinceRestart += used;
        holes = 0;
    }
    return len;
}

void TOggData::EndOfData(bool rewind)
{
    DataEnded = true;
    LoopPlay.store(false);
    // A converted stream plays on until the converter has given out what it holds.
    if (!Converter)
        Playing.store(false);
    if (rewind)
        SourceSeek(kRestartSeconds);
}

// ---------------------------------------------------------------------------------------------
// Play state and position

void TOggData::Play(bool loop)
{
    LoopPlay.store(loop);
    Playing.store(true);
}

void TOggData::Pause()
{
    Playing.store(false);
    LoopPlay.store(false);
}

void TOggData::Stop()
{
    Pause();
    std::lock_guard<std::recursive_mutex> lock(RenderLock);
    TimeSeek(0.0f);
    ResetConversion();
    for (auto& c : LoopCounter)
        c.store(0);
    History.Clear();
    if (RenderBuffer && RenderBuffer->Size() > 0)
        std::memset(RenderBuffer->Memory(), 0, static_cast<size_t>(RenderBuffer->Size()));
    PublishPosition(true, 0, RenderBuffer ? RenderBuffer->Size() : 0);
}

void TOggData::TimeSeek(float seconds)
{
    if (!Loaded.load() || std::isnan(seconds))
        return;
    std::lock_guard<std::recursive_mutex> lock(RenderLock);
    if (!Loaded.load() || _VorbisfileDll == nullptr)
        return;
    bool atEnd = false;
    if (seconds < 0.001f)
        seconds = 0.001f;
    if (seconds >= TotalTime) {
        seconds = TotalTime;
        atEnd = true;
    }
    if (std::fabs(seconds - DecoderTime()) < 0.001f)
        return;
    if (!SeekAble())
        return;
    // Where a seek goes, the jumps made no longer lead; StepListening keeps them, as its place
    // is one they lead to.
    if (!seekKeepsHistory_)
        History.Forget();
    if (SourceSeek(seconds) < 0 && atEnd) {
        // The decoder takes only times before the end; the stream's length rounded to a float
        // can lie on or past it, so land on the last frame (of the last link) instead.
        const int32_t rate = Links.empty() ? Rate : Links.back().Rate;
        const double frame = 1.0 / (rate > 0 ? rate : OutputFormat::Rate);
        SourceSeek(static_cast<double>(seconds) - frame);
    }
    // A seek into another link: that link's path from here on.
    if (LinkPending())
        UseLink(NextLink);
    ResetConversion();
    PublishPosition();
}

TRenderSnapshot::TPosition TOggData::PositionNow()
{
    std::unique_lock<std::recursive_mutex> lock(RenderLock, std::try_to_lock);
    if (lock.owns_lock())
        return {DecoderTime(), RenderOffset.load(), RenderTick.load()};
    return Published->Position();
}

float TOggData::TimeTell()
{
    return PositionNow().Tell;
}

float TOggData::DecoderTime()
{
    std::lock_guard<std::recursive_mutex> lock(RenderLock);
    if (FileData == nullptr || _VorbisfileDll == nullptr)
        return 0.0f;
    double t = SourceTell();
    if (Converter) {
        // The next frame to be rendered: the decoder has gone on by the source frames waiting
        // for the converter and the frames inside it. Once the data has ended, the decoder has
        // gone back to the start; what is left is the end of the piece.
        if (SourceEnded)
            t = TotalTime;
        t -= static_cast<double>(SourceEnd - SourceAt) / PathRate + Converter->Delay() / OutputFormat::Rate;
        t = std::max(t, 0.0);
    }
    return static_cast<float>(t);
}

void TOggData::MarkJump(int32_t sourceBytes, double to)
{
    int64_t offset = passAt_ + static_cast<int64_t>(sourceBytes);
    if (Converter) {
        // Source frames become output frames at the rate's ratio, after what the converter holds.
        const int64_t frames = sourceBytes / OutputFormat::BytesPerFrame;
        offset = markBase_ + frames * OutputFormat::Rate / PathRate * OutputFormat::BytesPerFrame;
    }
    if (offset < markLimit_)
        blockMarks_.push_back({static_cast<int32_t>(offset), static_cast<float>(to), History.Jumps(), History.Passes()});
}

std::vector<TOggData::TTimeMark> TOggData::BlockMarks()
{
    std::lock_guard<std::recursive_mutex> lock(RenderLock);
    return blockMarks_;
}

float TOggData::GetOutputTime()
{
    // The place and the tick of one and the same block: read apart, a block finishing in between
    // would put the time a block off for a moment.
    const TRenderSnapshot::TPosition at = PositionNow();
    const int64_t now = TickCount::Get();
    const int64_t tick = static_cast<int64_t>(at.Tick);
    // A negative difference (the tick count wrapped) counts as no time at all.
    const double elapsed = std::clamp(static_cast<double>(now - tick) / 1000.0, 0.0, 1.0);
    const double buffered = static_cast<double>(RenderBuffer->Size()) / kBytesPerSecond;
    const double t = static_cast<double>(at.Tell) - buffered + elapsed;
    return t < 0.0 ? 0.0f : static_cast<float>(t);
}

TPLAYSTATE TOggData::GetPlayState()
{
    if (Playing.load())
        return LoopPlay.load() ? psLOOP : psPLAY;
    return Loaded.load() ? psSTOP : psNONE;
}

// ---------------------------------------------------------------------------------------------
// Volumes

void TOggData::SetVolume(float volume)
{
    SetVolume(volume, 0.0f);
}

void TOggData::SetVolume(float volume, float fadeSeconds)
{
    if (std::isnan(volume))
        return;
    volume = std::clamp(volume, 0.0f, 1.0f);
    const auto level = static_cast<int32_t>(static_cast<double>(volume) * FullVolume);
    std::lock_guard<std::mutex> lock(GainLock);
    const bool fade = fadeSeconds >= 0.01f;
    int32_t step = 0;
    if (fade) {
        const double frames = static_cast<double>(fadeSeconds) * OutputFormat::Rate;
        step = static_cast<int32_t>(std::trunc(static_cast<double>(level - OggVolume.Now.load()) / frames));
    }
    SetLevel(OggVolume, level, fade, step);
}

float TOggData::GetNowVolume()
{
    return static_cast<float>(OggVolume.Now.load()) / static_cast<float>(FullVolume);
}

float TOggData::GetSetVolume()
{
    return static_cast<float>(OggVolume.Target.load()) / static_cast<float>(FullVolume);
}

int32_t TOggData::GetVolumeStep()
{
    return OggVolume.Step.load();
}

namespace {
// 255 is full. Values far beyond full are limited so that the per-block factor stays in range.
int32_t VolumeStep(float v)
{
    if (std::isnan(v))
        return 0;
    const double scaled = std::clamp(static_cast<double>(v) * 255.0, -65535.0, 65535.0);
    return static_cast<int32_t>(std::nearbyint(scaled));
}
}

void TOggData::SetMasterVolume(float v)
{
    MasterVolume.store(VolumeStep(v));
}

float TOggData::GetMasterVolume()
{
    return static_cast<float>(MasterVolume.load()) / 255.0f;
}

void TOggData::SetChannelVolume(float v)
{
    ChannelVolume.store(VolumeStep(v));
}

float TOggData::GetChannelVolume()
{
    return static_cast<float>(ChannelVolume.load()) / 255.0f;
}

int32_t TOggData::GetLoopCount(int32_t index)
{
    if (index < 0 || index > 15)
        return 0;
    return LoopCounter[index].load();
}

void TOggData::SetLoopCount(int32_t index, int32_t value)
{
    if (index < 0 || index > 15)
        return;
    LoopCounter[index].store(value);
}
