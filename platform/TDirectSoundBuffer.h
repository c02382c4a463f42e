#pragma once
// A secondary sound buffer: 16-bit stereo 44100 Hz bytes that the device's callback mixes from the
// play cursor, once or in a loop, with its volume, signalling the notification events whose
// offsets the cursor passes. Lock hands out a private copy of the range, and Unlock writes it back
// under the device's lock, so a writer never shares bytes with the callback.
#include "TDirectSoundBufferBase.h"

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

class TDirectSoundMixer;

class TDirectSoundBuffer : public TDirectSoundBufferBase {
public:
    // Creates a buffer with one reference; throws std::bad_alloc.
    TDirectSoundBuffer(std::shared_ptr<TDirectSoundMixer> mixer, DWORD flags, DWORD bytes);

    // The cursors, the writing through a private copy, and play and stop.
    HRESULT GetCurrentPosition(DWORD* play, DWORD* write) override;
    HRESULT Lock(DWORD offset, DWORD bytes, void** ptr1, DWORD* bytes1, void** ptr2, DWORD* bytes2,
                 DWORD flags) override;
    HRESULT Unlock(void* ptr1, DWORD bytes1, void* ptr2, DWORD bytes2) override;
    HRESULT Play(DWORD reserved, DWORD priority, DWORD flags) override;
    HRESULT Stop() override;
    // Only the primary buffer takes a format.
    HRESULT SetFormat(const WAVEFORMATEX* format) override;

    // Used by the notification interface of this buffer.
    HRESULT SetNotificationPositions(DWORD count, const DSBPOSITIONNOTIFY* positions);

    // Called by the mixer with its lock held: adds frames of this buffer's sound, at its volume,
    // to acc (interleaved stereo) and moves the cursor on. Sound kept at a device's loss comes
    // first. at is the device's frame of the first of them, or -1 for a device that does not
    // report what is heard.
    void MixInto(int32_t* acc, int frames, int64_t at);
    // Called by the mixer of a tracked device with its lock held. Heard: the device has played
    // up to frame heard; the notifications passed up to there are signalled, and a one-shot
    // buffer heard to its end stops. KeepUpTo: the device dropped every frame from frame on; the
    // cursor goes back to the first of them.
    void Heard(int64_t heard);
    void KeepUpTo(int64_t frame);
    // Called by the mixer with its lock held when its device is lost. What the device took last
    // may never have been played (the callback's own chunk and what the sound server held): it
    // is kept, and played again before the rest once a device is back, so that nothing is
    // skipped; at worst a listener hears its last moments twice.
    void DeviceLost();
    // How much is kept: three callbacks' worth (209 ms at 3072 frames), more than the callback's
    // own chunk and what a sound server holds together (about 120 ms lost through PulseAudio).
    static constexpr DWORD ReplayBytes = 3 * DSOutputFrames * DSOutputChannels * (DSOutputBits / 8);
    // With a tracked device, how far behind the place the server reported heard a loss sets the
    // cursor back (40 ms): when a sink goes, what the server said was heard was up to 2 ms ahead
    // of what reached the sink. The notifications keep as far behind it (Heard), so that the
    // stream never refills a half the cursor may yet go back into.
    static constexpr int64_t LossMarginFrames = DSOutputRate / 25;

    // Hundredths of a decibel as a 16.16 fixed-point gain: 0 gives 65536, -10000 or less 0.
    static int32_t GainOf(LONG volume);

private:
    ~TDirectSoundBuffer() override;
    // IID_IDirectSoundNotify8, for a buffer made with DSBCAPS_CTRLPOSITIONNOTIFY.
    HRESULT QueryOther(const GUID& iid, void** object) override;
    void ApplyVolume(LONG volume) override;
    LONG Volume() override;
    // Signals the events of the offsets in [from, from + bytes), wrapping; the lock is held.
    void SignalPassed(DWORD from, DWORD bytes);
    void SignalStop();
    bool InStaging(const void* ptr, DWORD bytes) const;
    // Adds the samples at the volume to dst.
    void AddScaled(int32_t* dst, const int16_t* src, size_t samples) const;
    // Keeps bytes just handed to the device as the newest of the last ReplayBytes.
    void Remember(const uint8_t* bytes, DWORD count);
    // Mixes what is kept from a lost device, up to frames; the frames mixed.
    int MixReplay(int32_t* acc, int frames);
    // Adds up to want bytes from the cursor on to acc, wrapping when looping; the bytes taken.
    DWORD Take(int32_t* acc, DWORD want, bool remember);
    // The offset a tracked device has played this buffer up to, by the device frame heard.
    DWORD HeardOffset(int64_t heard) const;
    // Stop's work, with the lock held.
    void StopLocked();
    // Runs change with the mixer's lock held; with a tracked device, through the mixer's Resync
    // when resync, read under the lock first, says the server must drop what it holds.
    void Change(const std::function<bool()>& resync, const std::function<void()>& change);

    const DWORD size_;
    std::vector<uint8_t> data_;
    std::vector<uint8_t> staging_;

    // Guarded by the mixer's lock.
    DWORD pos_ = 0;   // next byte the callback takes: the write cursor
    DWORD play_ = 0;  // start of what the callback took last
    DWORD taken_ = 0;  // how much it took
    std::chrono::steady_clock::time_point takenAt_;
    bool playing_ = false;
    bool looping_ = false;
    LONG volume_ = 0;
    int32_t gain_ = 65536;
    std::vector<DSBPOSITIONNOTIFY> notify_;
    // The last bytes handed to the device, a ring of ReplayBytes ending at recentEnd_, and, after
    // a loss, what is to be played again from replayAt_ on.
    std::vector<uint8_t> recent_;
    DWORD recentEnd_ = 0;
    DWORD recentFill_ = 0;
    std::vector<uint8_t> replay_;
    size_t replayAt_ = 0;

    // With a tracked device: the stretch mixed since the buffer last started, or was set back,
    // from offset spanPos_ at device frame spanFrame_ on, spanLen_ frames long, of which
    // spanHeard_ were heard at the last report. A one-shot buffer mixed to its end is drained_
    // and plays on until that is heard.
    bool spanOpen_ = false;
    int64_t spanFrame_ = 0;
    DWORD spanPos_ = 0;
    int64_t spanLen_ = 0;
    int64_t spanHeard_ = 0;
    bool drained_ = false;
    // The write cursor as it stood when Lock handed out a range, reported until Unlock (or for at
    // most MaxLockHold, should a writer never unlock).
    static constexpr std::chrono::milliseconds MaxLockHold{500};
    bool lockedWrite_ = false;
    std::chrono::steady_clock::time_point lockedAt_;
    DWORD lockedCursor_ = 0;
};
