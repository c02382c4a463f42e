// TDSOggStream's seeks: a jump the user asks for is heard at once, because the part of the
// buffer not yet heard is rendered again from the new place under the refill lock, as a refill
// would render it. The stream's set-up, refills and state are in TDSOggStream.cpp.
#include "TDSOggStream.h"

#include <algorithm>
#include <cmath>
#include <mutex>

bool TDSOggStream::Rewind(float seconds)
{
    return SeekHeard(-seconds, false);
}

bool TDSOggStream::Forward(float seconds)
{
    return SeekHeard(seconds, false);
}

bool TDSOggStream::SeekTo(float seconds)
{
    if (std::isnan(seconds) || !OggData || !OggData->Loaded || seconds < 0.0f || seconds > OggData->TotalTime) {
        return false;
    }
    placeRefused_ = true;
    return !SeekHeard(seconds, true) && !placeRefused_;
}

bool TDSOggStream::SeekHeard(float seconds, bool absolute)
{
    if (!OggData || PlayBuffer == nullptr || std::isnan(seconds)) {
        return false;
    }
    // No refill may come between the seek and the rendering of the sound after it.
    std::lock_guard refill(RefillLock);
    if (NextBegun_.load()) {
        // The ring holds the end of one piece and the start of the next; the seek waits until
        // the next is taken over and the place heard is its own.
        placeRefused_ = true;
        return false;
    }
    const bool playing = OggData->GetPlayState() != psSTOP;
    bool paused = false;
    bool ending = false;  // the data has ended by itself, its last sound not yet all heard
    {
        std::lock_guard lock(BufferLock);
        paused = !playing && BufferHeld && PauseTime.load() != 0.0f;
        ending = !playing && !BufferHeld && PauseTime.load() == 0.0f && EndUnheard();
    }
    if (!playing && !paused && !ending) {
        return false;  // stopped, or marked finished
    }
    DWORD write = 0;
    PlayBuffer->GetCurrentPosition(nullptr, &write);
    // The place heard: its time, and the loop jumps made up to it (those rendered after it are
    // not heard yet, and the step undoes them).
    double from = -1.0;
    int64_t jumps = -1;
    {
        std::lock_guard lock(BufferLock);
        if (const TOggData::TTimeMark* mark = MarkAt(write)) {
            from = TimeAt(write);
            jumps = mark->Jumps;
        }
    }
    if (BlockCalls.load() == 0) {
        from = OggData->DecoderTime();  // the first block is still to come, from here
    } else if (from < 0.0) {
        from = paused ? PauseTime.load() : GetOutputTime();
    }
    if (jumps < 0 || BlockCalls.load() == 0) {
        jumps = OggData->LoopJumps();
    }
    // The step follows the piece as it is heard, loops unrolled; past its start or its end it
    // stops the piece, for the caller to go on to another. A place is taken in the pass heard.
    double place = 0.0;
    auto move = [&] {
        return absolute ? OggData->PlaceListening(from, jumps, seconds, place)
                        : OggData->StepListening(from, jumps, seconds, place);
    };
    const TOggData::TStep step = move();
    placeRefused_ = step == TOggData::TStep::Refused;
    if (placeRefused_) {
        return false;
    }
    if (step != TOggData::TStep::Landed) {
        Stop();
        return true;
    }
    if (BlockCalls.load() == 0) {
        // Nothing rendered yet: the first block starts from the new place.
        if (paused) {
            PauseTime = std::max(static_cast<float>(place), 0.001f);
        }
        return false;
    }
    EndedWhilePaused = false;
    // The device takes a chunk at a time; one taken while the sound was rendered would put the
    // old sound before the new one's beginning. The seek is then made again from there; after two
    // such misses (a slow or busy machine) the new sound starts ahead of the write cursor by
    // twice what the device took during the last try, so that the render finishes first.
    constexpr int attempts = 6;
    DWORD lead = 0;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        // Paused or ended, the data is started for the rendering (and paused again after it).
        if (OggData->GetPlayState() == psSTOP) {
            OggData->Play(Loop);
        }
        // Again from the place heard: the last try's rendering made jumps that are not heard.
        if (attempt > 0) {
            move();
        }
        const DWORD took = RenderUnheard(lead, attempt == attempts - 1);
        if (took == 0) {
            break;
        }
        if (attempt >= 1) {
            lead = std::min(2 * took, BufferSize / 4) / OutputFormat::BytesPerFrame * OutputFormat::BytesPerFrame;
        }
    }
    if (paused) {
        if (OggData->GetPlayState() == psSTOP) {
            EndedWhilePaused = true;
        } else {
            OggData->Pause();
            const float at = OggData->DecoderTime();
            PauseTime = at == 0.0f ? 0.001f : at;
        }
    }
    return false;
}

DWORD TDSOggStream::RenderUnheard(DWORD lead, bool last)
{
    const DWORD half = BufferSize / 2;
    DWORD write = 0;
    PlayBuffer->GetCurrentPosition(nullptr, &write);
    write = write / OutputFormat::BytesPerFrame * OutputFormat::BytesPerFrame % BufferSize;
    const int cursorHalf = write >= half ? 1 : 0;
    const DWORD cursorHalfEnd = static_cast<DWORD>(cursorHalf + 1) * half;
    // The half after the cursor's holds new sound when its refill has been made; then it is
    // rendered again too. When its refill is still to come, that refill renders it from where
    // this range ends, as it would have from where the old one did. Offsets here run on past
    // the ring's end rather than wrap.
    const bool nextRefilled = NewestBlock != cursorHalf;
    const DWORD rangeEnd = cursorHalfEnd + (nextRefilled ? half : 0);
    const DWORD start = std::min(write + lead, rangeEnd - OutputFormat::BytesPerFrame);
    const DWORD bytes = rangeEnd - start;
    const int64_t calls = BlockCalls.load();
    const bool silent = Mute.load();
    Copying = true;
    void* p1 = nullptr;
    void* p2 = nullptr;
    DWORD n1 = 0;
    DWORD n2 = 0;
    int32_t rendered = 0;
    if (FAILED(PlayBuffer->Lock(start % BufferSize, bytes, &p1, &n1, &p2, &n2, 0))) {
        rendered = OggData->RenderAgain(static_cast<int32_t>(bytes), {}, {}, true);
        Trace.Trace("RenderUnheard:バッファーのロックに失敗\n");
    } else {
        rendered = OggData->RenderAgain(static_cast<int32_t>(bytes), {static_cast<uint8_t*>(p1), n1},
                                        {static_cast<uint8_t*>(p2), p2 != nullptr ? n2 : 0}, silent);
        // Read before the write: a chunk the device takes after it is the new sound, as meant.
        DWORD now = 0;
        PlayBuffer->GetCurrentPosition(nullptr, &now);
        const DWORD took = (now / OutputFormat::BytesPerFrame * OutputFormat::BytesPerFrame + BufferSize - write) % BufferSize;
        if (took > lead && !last) {
            PlayBuffer->Unlock(p1, 0, p2, 0);  // nothing written: the caller renders again
            Copying = false;
            return took;
        }
        PlayBuffer->Unlock(p1, n1, p2, n2);
    }
    auto marks = OggData->BlockMarks();
    const bool ended = OggData->GetPlayState() == psSTOP;
    {
        std::lock_guard lock(BufferLock);
        // Sound that starts ahead of the write cursor is led into by the stretch before it, so
        // that the clock shows the new place from the seek on (and a seek back is never taken
        // for a loop pass).
        const DWORD ahead = start - write;
        std::vector<TOggData::TTimeMark> all;
        if (ahead > 0 && !marks.empty()) {
            const double t = marks.front().Time - static_cast<double>(ahead) / OutputFormat::BytesPerSecond;
            all.push_back({0, static_cast<float>(std::max(t, 0.0)), marks.front().Jumps, marks.front().Passes});
        }
        for (const auto& m : marks) {
            all.push_back({m.Offset + static_cast<int32_t>(ahead), m.Time, m.Jumps, m.Passes});
        }
        PutMarks(write, ahead + bytes, all);
        EndBlockCall = -1;
        if (ended) {
            // The data ended inside the range: its sound ends in the cursor's half or the next,
            // which the copy before the last or the last wrote, as EndUnheard counts them.
            const DWORD end = start + std::min(static_cast<DWORD>(std::max(rendered, 0)), bytes);
            const int block = end <= cursorHalfEnd ? cursorHalf : 1 - cursorHalf;
            EndBlockStart = static_cast<DWORD>(block) * half;
            EndOffset = end <= cursorHalfEnd ? end : EndBlockStart + (end - cursorHalfEnd);
            EndBlockCall = calls - (block == NewestBlock ? 1 : 2);
        }
    }
    Copying = false;
    return 0;
}
