// The DirectSound-like device over our own PulseAudio stream, which mixes a quarter of a second
// ahead: the cursors, the notifications and a one-shot buffer's end must follow the sound heard,
// not the sound mixed, and a stop, a resume and a write into sound mixed ahead must skip nothing.
// The server can play no faster than real time, so every bound that says "not before" is exact;
// the bounds that say "not after" are loose, for a busy machine. Run by pulse-unit.sh, which
// starts a private server with a null sink (CTest sound_pulse_buffer).
#include "DirectSound.h"
#include "SoundTestSupport.h"
#include "TEvent.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

using namespace soundtest;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr DWORD Second = DSOutputRate * DSOutputChannels * DSOutputBits / 8;

double SecondsOf(DWORD bytes)
{
    return static_cast<double>(bytes) / Second;
}

double Since(Clock::time_point t)
{
    return std::chrono::duration<double>(Clock::now() - t).count();
}

class PulseBuffer : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (std::getenv("PULSE_SERVER") == nullptr) {
            GTEST_SKIP() << "no private PulseAudio server (run through pulse-unit.sh)";
        }
        setenv("SDL_AUDIODRIVER", "pulseaudio", 1);
        ASSERT_EQ(DirectSoundCreate8(nullptr, &device, nullptr), DS_OK);
    }

    void Make(DWORD bytes, const std::vector<DSBPOSITIONNOTIFY>& positions, ComPtr<IDirectSoundBuffer>& buffer)
    {
        WAVEFORMATEX wf = StereoFormat();
        DSBUFFERDESC desc{};
        desc.dwSize = sizeof desc;
        desc.dwFlags = DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPOSITIONNOTIFY;
        desc.dwBufferBytes = bytes;
        desc.lpwfxFormat = &wf;
        ASSERT_EQ(device->CreateSoundBuffer(&desc, &buffer, nullptr), DS_OK);
        ComPtr<IDirectSoundNotify8> notify;
        ASSERT_EQ(buffer->QueryInterface(IID_IDirectSoundNotify8, reinterpret_cast<void**>(&notify)), DS_OK);
        ASSERT_EQ(notify->SetNotificationPositions(static_cast<DWORD>(positions.size()), positions.data()), DS_OK);
    }

    DWORD WriteCursor(IDirectSoundBuffer* buffer)
    {
        DWORD write = 0;
        EXPECT_EQ(buffer->GetCurrentPosition(nullptr, &write), DS_OK);
        return write;
    }

    ComPtr<IDirectSound8> device;
};

}

// The notifications and the end of a one-shot buffer come as the sound is heard. Mixed a quarter
// second ahead, they would come that much early: the looping buffer's play cursor, the sound heard
// of both buffers, started together, would not yet have reached them.
TEST_F(PulseBuffer, NotificationsAndTheEndComeAsTheSoundIsHeard)
{
    TEvent middle;
    TEvent stop;
    ComPtr<IDirectSoundBuffer> looped;
    ComPtr<IDirectSoundBuffer> once;
    Make(2 * Second, {{Second, &middle}}, looped);
    Make(Second / 2, {{DSBPN_OFFSETSTOP, &stop}}, once);
    ASSERT_EQ(looped->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    ASSERT_EQ(once->Play(0, 0, 0), DS_OK);
    TEvent* const events[2] = {&middle, &stop};
    DWORD heardAt[2] = {0, 0};
    bool came[2] = {false, false};
    while (!came[0] || !came[1]) {
        const int which = TEvent::WaitAny(events, 2, 5000);
        ASSERT_GE(which, 0) << "no notification within 5 s";
        if (!came[which]) {
            came[which] = true;
            ASSERT_EQ(looped->GetCurrentPosition(&heardAt[which], nullptr), DS_OK);
        }
    }
    EXPECT_GE(heardAt[1], Second / 2) << "the one-shot buffer of 0.5 s ended before it was heard";
    EXPECT_GE(heardAt[0], Second) << "the notification a second in came before that second was heard";
    // A one-shot buffer that ended stands at its start again.
    EXPECT_EQ(WriteCursor(once.p), 0u);
    ASSERT_EQ(looped->Stop(), DS_OK);
}

// Stopped and played again, the buffer goes on from the place heard: the cursor never runs ahead
// of the time the sound had to be heard, so nothing mixed ahead is skipped; and a write into the
// sound mixed ahead (as a seek makes) leaves the cursor and the clock where they were.
TEST_F(PulseBuffer, AStopAndAResumeAndAWriteAheadSkipNothing)
{
    ComPtr<IDirectSoundBuffer> buffer;
    Make(2 * Second, {}, buffer);
    double played = 0.0;  // wall time the buffer played, an upper bound of what can be heard
    double heard = 0.0;   // what the cursor went through
    DWORD last = 0;
    for (int round = 0; round < 3; ++round) {
        const auto start = Clock::now();
        ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
        std::this_thread::sleep_for(300ms);
        // New sound from 50 ms past the write cursor: inside what was mixed ahead.
        const DWORD at = (WriteCursor(buffer.p) + Second / 20) / 4 * 4 % (2 * Second);
        void* p1 = nullptr;
        void* p2 = nullptr;
        DWORD n1 = 0;
        DWORD n2 = 0;
        ASSERT_EQ(buffer->Lock(at, Second / 2, &p1, &n1, &p2, &n2, 0), DS_OK);
        std::memset(p1, 0x10, n1);
        if (p2 != nullptr) {
            std::memset(p2, 0x10, n2);
        }
        // The cursor moves in the server's reports, about 25 ms apart, later on a busy machine.
        const auto read = Clock::now();
        const DWORD before = WriteCursor(buffer.p);
        ASSERT_EQ(buffer->Unlock(p1, n1, p2, n2), DS_OK);
        const DWORD after = WriteCursor(buffer.p);
        EXPECT_LE(SecondsOf((after + 2 * Second - before) % (2 * Second)), Since(read) + 0.1)
            << "the cursor jumped at the write, round " << round;
        std::this_thread::sleep_for(200ms);
        ASSERT_EQ(buffer->Stop(), DS_OK);
        played += Since(start);
        const DWORD now = WriteCursor(buffer.p);
        heard += SecondsOf((now + 2 * Second - last) % (2 * Second));
        last = now;
        EXPECT_LE(heard, played + 0.01) << "the cursor ran ahead of the sound, round " << round;
        EXPECT_GE(heard, played - 0.5 * (round + 1)) << "round " << round;
        // A stopped buffer's cursor stands still.
        std::this_thread::sleep_for(100ms);
        EXPECT_EQ(WriteCursor(buffer.p), now);
    }
}

// What has the server drop its sound for one buffer sets every buffer back: another buffer that
// starts, or a change of volume, leaves a playing buffer's cursor going on as the time passes,
// never jumping ahead to what had been mixed for it, never standing still.
TEST_F(PulseBuffer, AnotherStartAndAVolumeChangeLeaveAPlayingBufferInStep)
{
    ComPtr<IDirectSoundBuffer> playing;
    ComPtr<IDirectSoundBuffer> other;
    Make(2 * Second, {}, playing);
    Make(Second, {}, other);
    const auto start = Clock::now();
    ASSERT_EQ(playing->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    std::this_thread::sleep_for(300ms);
    const struct {
        const char* what;
        HRESULT (*step)(IDirectSoundBuffer* other, IDirectSoundBuffer* playing);
    } steps[] = {
        {"another buffer started", [](IDirectSoundBuffer* o, IDirectSoundBuffer*) { return o->Play(0, 0, DSBPLAY_LOOPING); }},
        {"the volume lowered", [](IDirectSoundBuffer*, IDirectSoundBuffer* p) { return p->SetVolume(-2000); }},
        {"another buffer stopped", [](IDirectSoundBuffer* o, IDirectSoundBuffer*) { return o->Stop(); }},
        {"the volume raised", [](IDirectSoundBuffer*, IDirectSoundBuffer* p) { return p->SetVolume(0); }},
    };
    for (const auto& s : steps) {
        const auto read = Clock::now();
        const DWORD before = WriteCursor(playing.p);
        ASSERT_EQ(s.step(other.p, playing.p), DS_OK) << s.what;
        const DWORD after = WriteCursor(playing.p);
        EXPECT_LE(SecondsOf((after + 2 * Second - before) % (2 * Second)), Since(read) + 0.1) << s.what;
        std::this_thread::sleep_for(200ms);
        const DWORD later = WriteCursor(playing.p);
        EXPECT_NE(later, after) << "the buffer stood still after " << s.what;
    }
    // Within the time it played, less what the first start took.
    const double heard = SecondsOf(WriteCursor(playing.p));
    EXPECT_LE(heard, Since(start) + 0.01);
    EXPECT_GE(heard, Since(start) - 0.5);
    ASSERT_EQ(playing->Stop(), DS_OK);
}
