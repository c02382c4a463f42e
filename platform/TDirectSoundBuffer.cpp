#include "TDirectSoundBuffer.h"

#include "TDirectSoundMixer.h"
#include "TDirectSoundNotify.h"
#include "TEvent.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <new>

namespace {
constexpr DWORD FrameBytes = 4;
}

TDirectSoundBuffer::TDirectSoundBuffer(std::shared_ptr<TDirectSoundMixer> mixer, DWORD flags, DWORD bytes)
    : TDirectSoundBufferBase(std::move(mixer), flags), size_(bytes), data_(bytes, 0), staging_(bytes, 0),
      recent_(ReplayBytes, 0)
{
    mixer_->Add(this);
}

TDirectSoundBuffer::~TDirectSoundBuffer()
{
    // What was mixed ahead for a tracked device goes with the buffer, as a device that takes its
    // sound as it plays would take no more of it. Without a stop event: its owner may have let
    // the events go already.
    Change([this] { return playing_; },
           [this] {
               playing_ = false;
               spanOpen_ = false;
           });
    mixer_->Remove(this);
}

void TDirectSoundBuffer::Change(const std::function<bool()>& resync, const std::function<void()>& change)
{
    if (mixer_->Tracked()) {
        bool needed = false;
        {
            std::lock_guard lock(mixer_->Lock());
            needed = resync();
        }
        if (needed) {
            mixer_->Resync(change);
            return;
        }
    }
    std::lock_guard lock(mixer_->Lock());
    change();
}

HRESULT TDirectSoundBuffer::QueryOther(const GUID& iid, void** object)
{
    if (iid == IID_IDirectSoundNotify8 && (flags_ & DSBCAPS_CTRLPOSITIONNOTIFY) != 0) {
        IDirectSoundNotify8* notify = new (std::nothrow) TDirectSoundNotify(this);
        if (notify == nullptr) {
            return DSERR_OUTOFMEMORY;
        }
        *object = notify;
        return DS_OK;
    }
    return E_NOINTERFACE;
}

HRESULT TDirectSoundBuffer::GetCurrentPosition(DWORD* play, DWORD* write)
{
    std::lock_guard lock(mixer_->Lock());
    if (spanOpen_) {
        // A tracked device: the play cursor is what is heard now, the write cursor what the
        // server reported heard last, so that the clock read from it moves in the server's steps
        // and a write behind the mixing is taken up at once (Unlock).
        if (play != nullptr) {
            *play = HeardOffset(mixer_->HeardNow());
        }
        if (write != nullptr) {
            const bool frozen = lockedWrite_ && std::chrono::steady_clock::now() - lockedAt_ < MaxLockHold;
            *write = frozen ? lockedCursor_ : HeardOffset(mixer_->HeardReported());
        }
        return DS_OK;
    }
    if (play != nullptr) {
        *play = pos_;
        if (playing_) {
            // A callback takes 93 ms at once; the cursor moves through it as the time passes
            // since, and never past what was taken.
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - takenAt_).count();
            const auto passed = static_cast<DWORD>(std::clamp(seconds, 0.0, 1.0) * DSOutputRate) * FrameBytes;
            *play = (play_ + std::min(passed, taken_)) % size_;
        }
    }
    if (write != nullptr) {
        *write = pos_;
    }
    return DS_OK;
}

HRESULT TDirectSoundBuffer::Lock(DWORD offset, DWORD bytes, void** ptr1, DWORD* bytes1, void** ptr2, DWORD* bytes2,
                                 DWORD flags)
{
    if (ptr1 == nullptr || bytes1 == nullptr) {
        return DSERR_INVALIDPARAM;
    }
    std::lock_guard lock(mixer_->Lock());
    if ((flags & DSBLOCK_FROMWRITECURSOR) != 0) {
        offset = pos_;
    }
    if (spanOpen_) {
        // A tracked device takes up any write at once (Unlock), so a writer has nothing to fear
        // from the sound moving on while it renders. The write cursor it reads stands still until
        // it unlocks: moving on with each of the server's reports, it would have a seek render its
        // range again and again on a busy machine, heard the later for it.
        lockedWrite_ = true;
        lockedAt_ = std::chrono::steady_clock::now();
        lockedCursor_ = HeardOffset(mixer_->HeardReported());
    }
    if ((flags & DSBLOCK_ENTIREBUFFER) != 0) {
        bytes = size_;
    }
    if (offset >= size_ || bytes == 0 || bytes > size_) {
        return DSERR_INVALIDPARAM;
    }
    const DWORD first = std::min(bytes, size_ - offset);
    const DWORD second = bytes - first;
    if (second != 0 && (ptr2 == nullptr || bytes2 == nullptr)) {
        return DSERR_INVALIDPARAM;
    }
    std::memcpy(staging_.data() + offset, data_.data() + offset, first);
    std::memcpy(staging_.data(), data_.data(), second);
    *ptr1 = staging_.data() + offset;
    *bytes1 = first;
    if (ptr2 != nullptr) {
        *ptr2 = second != 0 ? staging_.data() : nullptr;
    }
    if (bytes2 != nullptr) {
        *bytes2 = second;
    }
    return DS_OK;
}

bool TDirectSoundBuffer::InStaging(const void* ptr, DWORD bytes) const
{
    const auto* p = static_cast<const uint8_t*>(ptr);
    const uint8_t* begin = staging_.data();
    return p >= begin && p <= begin + size_ && bytes <= static_cast<DWORD>(begin + size_ - p);
}

HRESULT TDirectSoundBuffer::Unlock(void* ptr1, DWORD bytes1, void* ptr2, DWORD bytes2)
{
    if (ptr1 == nullptr || !InStaging(ptr1, bytes1) || (ptr2 != nullptr && !InStaging(ptr2, bytes2))) {
        return DSERR_INVALIDPARAM;
    }
    const size_t at1 = static_cast<size_t>(static_cast<uint8_t*>(ptr1) - staging_.data());
    const size_t at2 = ptr2 != nullptr ? static_cast<size_t>(static_cast<uint8_t*>(ptr2) - staging_.data()) : 0;
    const auto write = [&] {
        lockedWrite_ = false;
        std::memcpy(data_.data() + at1, ptr1, bytes1);
        if (ptr2 != nullptr && bytes2 != 0) {
            std::memcpy(data_.data() + at2, ptr2, bytes2);
        }
    };
    // A tracked device: a write into sound mixed ahead but not yet heard (a seek's new sound) is
    // heard at once only when the server drops the old and the mixing goes back.
    const auto intoMixed = [&] {
        if (!spanOpen_) {
            return false;
        }
        const int64_t heard = std::max(mixer_->HeardReported(), spanFrame_);
        const DWORD from = HeardOffset(heard);
        const auto unheard =
            static_cast<DWORD>(std::clamp<int64_t>((spanFrame_ + spanLen_ - heard) * FrameBytes, 0, size_));
        const auto overlaps = [&](size_t at, DWORD bytes) {
            const auto a = static_cast<DWORD>(at);
            return bytes != 0 && unheard != 0 &&
                   ((a + size_ - from) % size_ < unheard || (from + size_ - a) % size_ < bytes);
        };
        return overlaps(at1, bytes1) || (ptr2 != nullptr && overlaps(at2, bytes2));
    };
    Change(intoMixed, write);
    return DS_OK;
}

HRESULT TDirectSoundBuffer::Play(DWORD reserved, DWORD /*priority*/, DWORD flags)
{
    if (reserved != 0) {
        return DSERR_INVALIDPARAM;
    }
    const bool looping = (flags & DSBPLAY_LOOPING) != 0;
    const auto start = [this, looping] {
        looping_ = looping;
        if (!playing_) {
            playing_ = true;
            play_ = pos_;
            taken_ = 0;
            spanOpen_ = false;
            drained_ = false;
        }
    };
    // With a tracked device, what the server holds (silence, or other buffers' sound) would be
    // heard before this.
    Change([this] { return !playing_; }, start);
    return DS_OK;
}

HRESULT TDirectSoundBuffer::SetFormat(const WAVEFORMATEX* /*format*/)
{
    return DSERR_INVALIDCALL;  // only the primary buffer's format can be set
}

int32_t TDirectSoundBuffer::GainOf(LONG volume)
{
    if (volume <= DSBVOLUME_MIN) {
        return 0;
    }
    if (volume >= DSBVOLUME_MAX) {
        return 65536;
    }
    return static_cast<int32_t>(std::lround(65536.0 * std::pow(10.0, volume / 2000.0)));
}

void TDirectSoundBuffer::ApplyVolume(LONG volume)
{
    const auto apply = [this, volume] {
        volume_ = volume;
        gain_ = GainOf(volume);
    };
    // Mixed ahead for a tracked device at the old volume, the change would be heard a quarter
    // second late.
    Change([this, volume] { return spanOpen_ && GainOf(volume) != gain_; }, apply);
}

LONG TDirectSoundBuffer::Volume()
{
    std::lock_guard lock(mixer_->Lock());
    return volume_;
}

HRESULT TDirectSoundBuffer::Stop()
{
    // With a tracked device the server drops what it holds, so the stop is heard at once. The
    // cursor goes back to the place the server last reported heard, not to the first frame it
    // dropped: the little it kept beyond that is heard now and again after a resume, since a sink
    // was seen to lose 20 ms of what the server said it kept, which a resume would skip.
    Change([this] { return playing_; },
           [this] {
               if (spanOpen_) {
                   pos_ = HeardOffset(mixer_->HeardReported());
               }
               StopLocked();
           });
    return DS_OK;
}

void TDirectSoundBuffer::StopLocked()
{
    if (playing_) {
        playing_ = false;
        play_ = pos_;
        taken_ = 0;
        spanOpen_ = false;
        drained_ = false;
        SignalStop();
    }
    // What a device lost before the stop is still owed to the listener, and comes first when the
    // buffer plays on (a pause while no device is there loses nothing). What went to a working
    // device before the stop was heard.
    recentFill_ = 0;
}

HRESULT TDirectSoundBuffer::SetNotificationPositions(DWORD count, const DSBPOSITIONNOTIFY* positions)
{
    if (count != 0 && positions == nullptr) {
        return DSERR_INVALIDPARAM;
    }
    for (DWORD i = 0; i < count; ++i) {
        const DSBPOSITIONNOTIFY& p = positions[i];
        if (p.hEventNotify == nullptr || (p.dwOffset >= size_ && p.dwOffset != DSBPN_OFFSETSTOP)) {
            return DSERR_INVALIDPARAM;
        }
    }
    std::vector<DSBPOSITIONNOTIFY> list;
    try {
        list.assign(positions, positions + count);
    } catch (const std::bad_alloc&) {
        return DSERR_OUTOFMEMORY;
    }
    std::lock_guard lock(mixer_->Lock());
    notify_.swap(list);
    return DS_OK;
}

void TDirectSoundBuffer::SignalPassed(DWORD from, DWORD bytes)
{
    for (const DSBPOSITIONNOTIFY& p : notify_) {
        if (p.dwOffset == DSBPN_OFFSETSTOP) {
            continue;
        }
        // Distance from the chunk's start to the offset, going forward round the buffer.
        const DWORD ahead = p.dwOffset >= from ? p.dwOffset - from : p.dwOffset + size_ - from;
        if (ahead < bytes) {
            p.hEventNotify->Set();
        }
    }
}

void TDirectSoundBuffer::SignalStop()
{
    for (const DSBPOSITIONNOTIFY& p : notify_) {
        if (p.dwOffset == DSBPN_OFFSETSTOP) {
            p.hEventNotify->Set();
        }
    }
}

void TDirectSoundBuffer::AddScaled(int32_t* dst, const int16_t* src, size_t samples) const
{
    if (gain_ == 65536) {
        for (size_t i = 0; i < samples; ++i) {
            dst[i] += src[i];
        }
    } else if (gain_ != 0) {
        for (size_t i = 0; i < samples; ++i) {
            dst[i] += (src[i] * gain_ + 32768) >> 16;
        }
    }
}

void TDirectSoundBuffer::Remember(const uint8_t* bytes, DWORD count)
{
    if (count >= ReplayBytes) {
        std::memcpy(recent_.data(), bytes + count - ReplayBytes, ReplayBytes);
        recentEnd_ = 0;
        recentFill_ = ReplayBytes;
        return;
    }
    const DWORD first = std::min(count, ReplayBytes - recentEnd_);
    std::memcpy(recent_.data() + recentEnd_, bytes, first);
    std::memcpy(recent_.data(), bytes + first, count - first);
    recentEnd_ = (recentEnd_ + count) % ReplayBytes;
    recentFill_ = std::min(recentFill_ + count, ReplayBytes);
}

void TDirectSoundBuffer::DeviceLost()
{
    if (mixer_->Tracked()) {
        // Everything after what the server reported heard is owed: the cursor goes back there,
        // and a little further to be sure.
        KeepUpTo(mixer_->HeardReported() - LossMarginFrames);
        spanOpen_ = false;
        drained_ = false;
        return;
    }
    if (!playing_) {
        recentFill_ = 0;  // stopped before the loss: heard, or cut off by the stop itself
        return;
    }
    // The newest bytes handed over, oldest first, then what an earlier loss still owes: the
    // device may have gone again before playing all of it.
    std::vector<uint8_t> owed;
    try {
        owed.reserve(recentFill_ + (replay_.size() - replayAt_));
        const DWORD start = (recentEnd_ + ReplayBytes - recentFill_) % ReplayBytes;
        const DWORD first = std::min(recentFill_, ReplayBytes - start);
        owed.insert(owed.end(), recent_.begin() + start, recent_.begin() + start + first);
        owed.insert(owed.end(), recent_.begin(), recent_.begin() + (recentFill_ - first));
        owed.insert(owed.end(), replay_.begin() + static_cast<std::ptrdiff_t>(replayAt_), replay_.end());
    } catch (const std::bad_alloc&) {
        owed.clear();  // then it is skipped, as it would have been
    }
    replay_.swap(owed);
    replayAt_ = 0;
    recentFill_ = 0;
    recentEnd_ = 0;
}

int TDirectSoundBuffer::MixReplay(int32_t* acc, int frames)
{
    if (replayAt_ >= replay_.size()) {
        return 0;
    }
    const size_t bytes = std::min(replay_.size() - replayAt_, static_cast<size_t>(frames) * FrameBytes);
    const uint8_t* src = replay_.data() + replayAt_;
    AddScaled(acc, reinterpret_cast<const int16_t*>(src), bytes / 2);
    Remember(src, static_cast<DWORD>(bytes));
    replayAt_ += bytes;
    if (replayAt_ >= replay_.size()) {
        replay_.clear();
        replayAt_ = 0;
    }
    return static_cast<int>(bytes / FrameBytes);
}

DWORD TDirectSoundBuffer::HeardOffset(int64_t heard) const
{
    const int64_t frames = std::clamp<int64_t>(heard - spanFrame_, 0, spanLen_);
    return static_cast<DWORD>((spanPos_ + frames * FrameBytes % size_) % size_);
}

void TDirectSoundBuffer::Heard(int64_t heard)
{
    if (!spanOpen_) {
        return;
    }
    const int64_t frames = std::clamp<int64_t>(heard - spanFrame_, 0, spanLen_);
    if (frames > spanHeard_) {
        const DWORD from = HeardOffset(spanFrame_ + spanHeard_);
        SignalPassed(from, static_cast<DWORD>(std::min<int64_t>((frames - spanHeard_) * FrameBytes, size_)));
        spanHeard_ = frames;
    }
    if (drained_ && spanHeard_ == spanLen_) {
        // A one-shot buffer heard to its end stops, ready to play again from the start.
        drained_ = false;
        spanOpen_ = false;
        playing_ = false;
        pos_ = 0;
        play_ = 0;
        taken_ = 0;
        SignalStop();
    }
}

void TDirectSoundBuffer::KeepUpTo(int64_t frame)
{
    if (!spanOpen_) {
        return;
    }
    const int64_t frames = std::clamp<int64_t>(frame - spanFrame_, 0, spanLen_);
    if (frames < spanLen_) {
        drained_ = false;
    }
    spanLen_ = frames;
    spanHeard_ = std::min(spanHeard_, frames);
    pos_ = HeardOffset(frame);
    play_ = pos_;
    taken_ = 0;
    if (frames == 0) {
        spanOpen_ = false;  // a new stretch begins where the device mixes next
    }
}

DWORD TDirectSoundBuffer::Take(int32_t* acc, DWORD want, bool remember)
{
    if (!looping_) {
        want = std::min(want, size_ - pos_);
    }
    DWORD taken = 0;
    while (taken < want) {
        const DWORD run = std::min(want - taken, size_ - pos_) / FrameBytes * FrameBytes;
        if (run == 0) {
            break;  // a size that is not whole frames: drop the odd bytes at the end
        }
        AddScaled(acc + taken / 2, reinterpret_cast<const int16_t*>(data_.data() + pos_), run / 2);
        if (remember) {
            Remember(data_.data() + pos_, run);
        }
        taken += run;
        pos_ += run;
        if (size_ - pos_ < FrameBytes) {
            pos_ = 0;
        }
    }
    return taken;
}

void TDirectSoundBuffer::MixInto(int32_t* acc, int frames, int64_t at)
{
    if (!playing_ || frames <= 0) {
        return;
    }
    if (at >= 0) {
        // A tracked device: the cursor moves on as the buffer is mixed, the notifications and the
        // end of a one-shot buffer wait until the server has played it (Heard).
        if (drained_) {
            return;
        }
        if (!spanOpen_ || spanFrame_ + spanLen_ != at) {
            spanOpen_ = true;
            spanFrame_ = at;
            spanPos_ = pos_;
            spanLen_ = 0;
            spanHeard_ = 0;
        }
        const DWORD taken = Take(acc, static_cast<DWORD>(frames) * FrameBytes, false);
        spanLen_ += taken / FrameBytes;
        if (!looping_ && pos_ == 0 && taken != 0) {
            drained_ = true;
        }
        return;
    }
    // The cursor stands still while the owed sound plays; it moves on from the first frame after.
    const int replayed = MixReplay(acc, frames);
    acc += static_cast<size_t>(replayed) * DSOutputChannels;
    frames -= replayed;
    const auto startsAt = std::chrono::steady_clock::now() +
                          std::chrono::microseconds(static_cast<int64_t>(replayed) * 1000000 / DSOutputRate);
    if (frames == 0) {
        play_ = pos_;
        taken_ = 0;
        takenAt_ = startsAt;
        return;
    }
    const DWORD from = pos_;
    const DWORD taken = Take(acc, static_cast<DWORD>(frames) * FrameBytes, true);
    play_ = from;
    taken_ = taken;
    takenAt_ = startsAt;
    SignalPassed(from, taken);
    if (!looping_ && pos_ == 0 && taken != 0) {
        // A one-shot buffer that reached its end stops, ready to play again from the start.
        playing_ = false;
        play_ = 0;
        SignalStop();
    }
}
