#include "TPlaybackSequence.h"

#include "CaptionText.h"
#include "EResourceError.h"
#include "Paths.h"

#include <algorithm>
#include <climits>
#include <exception>
#include <utility>

namespace {
constexpr float SkipSeconds = 5.0f;
constexpr float ClosingFadeSeconds = 8.0f;
constexpr int Endless = -1;
}

TPlaybackSequence::TPlaybackSequence(IStreamPlayer& stream, IPlaylistCursor& playlist)
    : stream_(stream), playlist_(playlist)
{
}

TPlaybackSequence::TStart TPlaybackSequence::PlayEntry(int index)
{
    // The tray menu and bPlay pass the current entry unchecked (-1 with none); such an index,
    // or one left behind by a list that has since shrunk, plays nothing and changes nothing.
    if (index < 0 || index >= playlist_.Count())
        return TStart::Ignored;
    nextPlayArmed_ = false;
    stream_.SetMute(false);
    const std::string path = playlist_.PathAt(index);
    bool played = false;
    failureText_.clear();
    const std::string taken = std::exchange(taken_, std::string());
    queued_.clear();  // a start drops what was queued, a piece taken over was the queued one
    try {
        // The piece the stream went on to is this entry's unless the list changed meanwhile.
        // A piece started is given what follows it at once: a short one ends in its first block.
        const int following = FollowingOf(index, loopCount_);
        const std::string next = following >= 0 ? playlist_.PathAt(following) : std::string();
        played = (!taken.empty() && taken == path) || stream_.PlayThen(path, false, next);
        if (played && taken.empty())
            queued_ = next;
    } catch (const EResourceError&) {
        throw;  // no fault of the entry: the next one would fail the same way
    } catch (const std::exception& e) {
        failureText_ = e.what();
    } catch (...) {
        // An error without a message: the entry is named all the same.
    }
    if (!played) {
        CurrentExt.clear();
        failedIndex_ = index;
        return TStart::Failed;
    }
    failedInRow_ = 0;
    playlist_.Select(index);
    // Whatever the case of its name, a piece is told apart by its kind only, so that its end
    // moves the playlist on as any other's does.
    const std::string ext = Paths::ExtractLowerFileExt(path);
    CurrentExt = ext == ".ogg" || ext == ".qv" ? ext : Paths::ExtractFileExt(path);
    // A plain file with loop tags (or a container under another name) loops by its own table,
    // and the loop count ends it as it ends a container.
    if (CurrentExt == ".ogg" && stream_.HasLoops())
        CurrentExt = ".qv";
    passBase_ = LoopsDone;
    fadingPass_ = 0;
    return TStart::Started;
}

bool TPlaybackSequence::StartFailed()
{
    ClearPasses();
    if (++failedInRow_ >= playlist_.Count()) {
        // A whole round without a single piece: stop here instead of trying them for ever.
        failedInRow_ = 0;
        stream_.Stop();
        return false;
    }
    // The entry after the one that failed, which is not the current one when it was asked for
    // directly (a double-click in the playlist).
    playlist_.SetCurrent(failedIndex_);
    Advance();
    return true;
}

void TPlaybackSequence::Seeked()
{
    // The heard time is the new place from the seek on, so the next check measures from it.
    LastSecond = static_cast<float>(CaptionText::Truncated(stream_.GetOutputTime()));
}

bool TPlaybackSequence::ButtonPressed(int tag)
{
    if (playlist_.Count() == 0)
        return false;
    switch (tag) {
    case 0:
        return PlayPressed();
    case 1:
        StopPressed();
        return false;
    case 2:
        stream_.Pause();
        return false;
    case 3:
        return BackPressed();
    case 4:
        return NextPressed();
    case 5:
        return SeekBy(-SkipSeconds);
    case 6:
        return SeekBy(SkipSeconds);
    default:
        return false;
    }
}

bool TPlaybackSequence::SeekBy(float seconds)
{
    // Only a step past the start or the end stops the piece; that goes to the previous or the
    // next entry.
    if (seconds < 0.0f ? stream_.Rewind(-seconds) : stream_.Forward(seconds))
        return seconds < 0.0f ? BackPressed() : NextPressed();
    Seeked();
    return false;
}

void TPlaybackSequence::SeekTo(float seconds)
{
    if (stream_.SeekTo(seconds))
        Seeked();
}

bool TPlaybackSequence::PlayPressed()
{
    if (stream_.IsPaused()) {
        stream_.Pause();
        return false;
    }
    ClearPasses();
    return true;
}

void TPlaybackSequence::PausePressed()
{
    stream_.Pause();
}

void TPlaybackSequence::StopPressed()
{
    stream_.Stop();
    CurrentExt.clear();
    ClearPasses();
}

bool TPlaybackSequence::NextPressed()
{
    Advance();
    return StopAndPlayCurrent();
}

bool TPlaybackSequence::BackPressed()
{
    GoBack();
    return StopAndPlayCurrent();
}

bool TPlaybackSequence::PlayFirst()
{
    if (playlist_.Count() < 1)
        return false;
    playlist_.Select(0);
    CurrentExt.clear();
    return StopAndPlayCurrent();
}

void TPlaybackSequence::Reset()
{
    CurrentExt.clear();
    ClearPasses();
}

bool TPlaybackSequence::StopAndPlayCurrent()
{
    stream_.Stop();
    ClearPasses();
    return true;
}

void TPlaybackSequence::ClearPasses()
{
    LoopsDone = 0;
    LastSecond = 0.0f;
    passBase_ = 0;
}

void TPlaybackSequence::Advance()
{
    const int count = playlist_.Count();
    const int next = playlist_.Current() == count - 1 ? 0 : playlist_.Current() + 1;
    playlist_.SetCurrent(next < count ? next : -1);
}

void TPlaybackSequence::GoBack()
{
    int index = playlist_.Current() - 1;
    if (index < 0)
        index = playlist_.Count() - 1;
    playlist_.SetCurrent(index);
}

bool TPlaybackSequence::TimeTick()
{
    if (stream_.IsPaused())
        return false;
    // One reading gives both the seconds and the tenths: two readings taken apart could fall
    // on both sides of a whole second and show ten tenths.
    const double t = stream_.GetOutputTime();
    const int64_t s = CaptionText::Truncated(t);
    ShownSeconds = static_cast<int32_t>(std::clamp<int64_t>(s, INT32_MIN, INT32_MAX));
    ShownTenths = static_cast<int32_t>(CaptionText::Truncated(t * 10.0) - s * 10);
    return true;
}

int TPlaybackSequence::FollowingEntry(int loopCount) const
{
    if (CurrentExt != ".ogg" && CurrentExt != ".qv" && CurrentExt != "qv")
        return -1;
    return FollowingOf(playlist_.Current(), loopCount);
}

int TPlaybackSequence::FollowingOf(int index, int loopCount) const
{
    const int count = playlist_.Count();
    if (count == 0 || index < 0 || index >= count)
        return -1;
    // As NextPlayTick decides at an end, and the closing fade always goes on to the next.
    const bool repeat = CurrentExt != "qv" && LoopSwitch && (loopCount == Endless || loopCount >= LoopsDone + 1);
    if (repeat)
        return index;
    return index == count - 1 ? 0 : index + 1;
}

void TPlaybackSequence::QueueFollowing(int loopCount)
{
    loopCount_ = loopCount;
    const int index = FollowingEntry(loopCount);
    const std::string path = index >= 0 ? playlist_.PathAt(index) : std::string();
    // Once the stream has begun the queued piece it plays on; what it is decides at its end.
    if (path == queued_ || stream_.NextBegun())
        return;
    const std::string before = std::exchange(queued_, path);
    try {
        if (!stream_.QueueNext(path) && stream_.NextBegun())
            queued_ = before;  // begun just now: the one queued before is what plays
    } catch (const std::exception&) {
        // It fails again when it is started, and is passed over then as any entry that fails.
    }
}

bool TPlaybackSequence::Timer3Tick(int loopCount)
{
    loopCount_ = loopCount;
    // 0. The stream went on to the queued piece by itself and it is heard now: the list moves
    // on as at the end of the piece, and the caller shows the entry (PlayEntry takes it over).
    if (!queued_.empty() && stream_.NextHeard()) {
        stream_.TakeNext();
        taken_ = std::exchange(queued_, std::string());
        if (CurrentExt == "qv") {
            CurrentExt.clear();
            LastSecond = 0.0f;
            Advance();
        } else {
            NextPlayTick(loopCount);
        }
        return true;
    }
    const bool moving = CurrentExt == ".ogg" || CurrentExt == ".qv";
    // 1. The piece has ended: silence the rest of the buffer and move on a second later.
    if (!stream_.IsPlaying() && !stream_.IsPaused() && moving && !nextPlayArmed_) {
        stream_.MarkFinished();
        nextPlayArmed_ = true;
    }
    // 2. A looped piece: the passes are the jumps back the engine made whose sound has been
    // heard, so a loop of any length counts, and the fade starts after the pass is heard.
    if (stream_.IsPlaying() && !stream_.IsPaused() && CurrentExt == ".qv") {
        const auto c = static_cast<int32_t>(CaptionText::Truncated(stream_.GetOutputTime()));
        ShownSeconds = c;
        const int64_t heard = std::clamp<int64_t>(stream_.HeardPasses(), 0, INT32_MAX - passBase_);
        LoopsDone = passBase_ + static_cast<int32_t>(heard);
        if (loopCount < LoopsDone && loopCount != Endless) {
            stream_.FadeOut(ClosingFadeSeconds);
            fadingPass_ = loopCount + 2;  // the last pass, which fades
            LoopsDone = 0;
            CurrentExt = "qv";
        } else {
            LastSecond = static_cast<float>(c);
        }
    }
    // 3. The closing fade has reached silence and the data has stopped: the next entry.
    if (!stream_.IsPlaying() && !stream_.IsPaused() && CurrentExt == "qv") {
        CurrentExt.clear();
        LastSecond = 0.0f;
        Advance();
        return true;
    }
    QueueFollowing(loopCount);
    return false;
}

bool TPlaybackSequence::NextPlayTick(int loopCount)
{
    // One tick only: an entry that cannot be played (the list was cleared meanwhile) must not
    // leave the timer firing and later start a piece by itself.
    nextPlayArmed_ = false;
    if (LoopSwitch) {
        if (loopCount != Endless)
            ++LoopsDone;
        if (loopCount < LoopsDone && loopCount != Endless) {
            LoopsDone = 0;
            Advance();
        }
    } else {
        Advance();
        LastSecond = 0.0f;
        LoopsDone = 0;  // the passes were the ended piece's
    }
    return true;
}

std::string TPlaybackSequence::LoopMark(int loopCount)
{
    // "∞" in Shift-JIS (CP932).
    static const std::string Infinity = "\x81\x87";
    auto of = [](int64_t pass, const std::string& all) { return std::to_string(pass) + "/" + all; };
    if (CurrentExt == "qv")
        return of(fadingPass_, std::to_string(fadingPass_));
    if (CurrentExt == ".qv" && stream_.HasLoops()) {
        const int64_t pass = int64_t{LoopsDone} + 1;
        if (loopCount == Endless)
            return stream_.HasEndlessLoop() || LoopSwitch ? of(pass, Infinity) : std::to_string(pass);
        return of(std::min<int64_t>(pass, loopCount + 2), std::to_string(loopCount + 2));
    }
    // A plain file that the loop count repeats.
    if (CurrentExt == ".ogg" && LoopSwitch && loopCount != 0) {
        const int64_t pass = int64_t{LoopsDone} + 1;
        // Endless repeats of a plain file are not counted.
        return loopCount == Endless ? Infinity : of(pass, std::to_string(loopCount + 1));
    }
    return std::string();
}
