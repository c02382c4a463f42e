// The DirectSound-like device over SDL: notifications and cursors on the dummy driver, the mixed
// sound itself on the disk driver.
#include "DirectSound.h"
#include "OggFixture.h"
#include "SoundTestSupport.h"
#include "TEvent.h"
#include "TManualAudioDevice.h"
#include "TThreadPriority.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sched.h>
#include <sys/resource.h>
#include <thread>
#include <vector>

using namespace soundtest;

namespace {

constexpr DWORD Second = DSOutputRate * DSOutputChannels * DSOutputBits / 8;

HRESULT MakeBuffer(IDirectSound8* device, DWORD bytes, DWORD flags, IDirectSoundBuffer** out)
{
    WAVEFORMATEX wf = StereoFormat();
    DSBUFFERDESC desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = flags;
    desc.dwBufferBytes = bytes;
    desc.lpwfxFormat = &wf;
    return device->CreateSoundBuffer(&desc, out, nullptr);
}

void Fill(IDirectSoundBuffer* buffer, const std::vector<int16_t>& samples)
{
    void* p1 = nullptr;
    void* p2 = nullptr;
    DWORD n1 = 0;
    DWORD n2 = 0;
    ASSERT_EQ(buffer->Lock(0, 0, &p1, &n1, &p2, &n2, DSBLOCK_ENTIREBUFFER), DS_OK);
    ASSERT_EQ(n1, samples.size() * 2);
    std::memcpy(p1, samples.data(), n1);
    ASSERT_EQ(buffer->Unlock(p1, n1, p2, n2), DS_OK);
}

class DirectSoundDummy : public ::testing::Test {
protected:
    void SetUp() override
    {
        UseDummyDriver();
        ASSERT_EQ(DirectSoundCreate8(nullptr, &device, nullptr), DS_OK);
        ASSERT_EQ(device->SetCooperativeLevel(nullptr, DSSCL_PRIORITY), DS_OK);
    }
    ComPtr<IDirectSound8> device;
};

}

// On the test device, which takes frames only when told: each notification comes with the chunk
// that reaches its offset, in order, with the write cursor in the half now playing.
TEST(DirectSoundManual, NotificationsAtStartAndMiddleAlternateWithWriteCursorInPlayingHalf)
{
    TManualAudioDevice output;
    ComPtr<IDirectSound8> device;
    ASSERT_EQ(DirectSoundCreate8(nullptr, &device, nullptr), DS_OK);
    ComPtr<IDirectSoundBuffer> buffer;
    ASSERT_EQ(MakeBuffer(device.p, 2 * Second, DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPOSITIONNOTIFY, &buffer), DS_OK);
    ComPtr<IDirectSoundNotify8> notify;
    ASSERT_EQ(buffer->QueryInterface(IID_IDirectSoundNotify8, reinterpret_cast<void**>(&notify)), DS_OK);
    TEvent start;
    TEvent middle;
    const DSBPOSITIONNOTIFY positions[2] = {{0, &start}, {Second, &middle}};
    ASSERT_EQ(notify->SetNotificationPositions(2, positions), DS_OK);
    TEvent* events[2] = {&start, &middle};

    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    constexpr int chunk = 4096;
    const int frames = static_cast<int>(Second / 4);
    std::vector<int> order;
    for (int taken = 0; taken + chunk <= 5 * frames; taken += chunk) {
        output.Consume(chunk);
        const int which = TEvent::WaitAny(events, 2, 0);
        // Offsets lie a second of frames apart: the chunk reached one when it holds a multiple.
        const bool reached = taken % frames == 0 || taken / frames != (taken + chunk - 1) / frames;
        ASSERT_EQ(which >= 0, reached) << "after " << taken + chunk << " frames";
        if (which < 0) {
            continue;
        }
        DWORD write = 0;
        ASSERT_EQ(buffer->GetCurrentPosition(nullptr, &write), DS_OK);
        EXPECT_EQ(write, static_cast<DWORD>((taken + chunk) % (2 * frames)) * 4);
        if (which == 0) {
            EXPECT_LT(write, Second);
        } else {
            EXPECT_GE(write, Second);
        }
        order.push_back(which);
    }
    EXPECT_EQ(order, (std::vector<int>{0, 1, 0, 1, 0}));
    ASSERT_EQ(buffer->Stop(), DS_OK);
    // A stopped buffer signals nothing more.
    output.Consume(3 * frames);
    EXPECT_EQ(TEvent::WaitAny(events, 2, 0), TEvent::Timeout);
}

TEST_F(DirectSoundDummy, LockAcrossTheEndGivesTwoRegionsAndUnlockKeepsTheBytes)
{
    ComPtr<IDirectSoundBuffer> buffer;
    ASSERT_EQ(MakeBuffer(device.p, 4096, 0, &buffer), DS_OK);
    void* p1 = nullptr;
    void* p2 = nullptr;
    DWORD n1 = 0;
    DWORD n2 = 0;
    ASSERT_EQ(buffer->Lock(4096 - 16, 48, &p1, &n1, &p2, &n2, 0), DS_OK);
    ASSERT_EQ(n1, 16u);
    ASSERT_EQ(n2, 32u);
    ASSERT_NE(p2, nullptr);
    std::memset(p1, 0x11, n1);
    std::memset(p2, 0x22, n2);
    ASSERT_EQ(buffer->Unlock(p1, n1, p2, n2), DS_OK);

    ASSERT_EQ(buffer->Lock(0, 4096, &p1, &n1, &p2, &n2, 0), DS_OK);
    EXPECT_EQ(n1, 4096u);
    EXPECT_EQ(n2, 0u);
    EXPECT_EQ(p2, nullptr);
    const auto* bytes = static_cast<const uint8_t*>(p1);
    EXPECT_EQ(bytes[0], 0x22);
    EXPECT_EQ(bytes[31], 0x22);
    EXPECT_EQ(bytes[32], 0x00);
    EXPECT_EQ(bytes[4096 - 17], 0x00);
    EXPECT_EQ(bytes[4096 - 16], 0x11);
    EXPECT_EQ(bytes[4095], 0x11);
    ASSERT_EQ(buffer->Unlock(p1, n1, p2, n2), DS_OK);

    // Ranges and pointers that do not belong to the buffer are refused.
    EXPECT_LT(buffer->Lock(4096, 4, &p1, &n1, &p2, &n2, 0), 0);
    EXPECT_LT(buffer->Lock(0, 4100, &p1, &n1, &p2, &n2, 0), 0);
    uint8_t elsewhere[4];
    EXPECT_LT(buffer->Unlock(elsewhere, 4, nullptr, 0), 0);
}

TEST_F(DirectSoundDummy, InterfacesAreCountedAndTheNotifyKeepsItsBufferAlive)
{
    IDirectSoundBuffer* buffer = nullptr;
    ASSERT_EQ(MakeBuffer(device.p, 4096, DSBCAPS_CTRLPOSITIONNOTIFY, &buffer), DS_OK);
    IDirectSoundNotify8* notify = nullptr;
    ASSERT_EQ(buffer->QueryInterface(IID_IDirectSoundNotify8, reinterpret_cast<void**>(&notify)), DS_OK);
    void* unknown = reinterpret_cast<void*>(1);
    const GUID other = {0x12345678, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
    EXPECT_EQ(buffer->QueryInterface(other, &unknown), E_NOINTERFACE);
    EXPECT_EQ(unknown, nullptr);

    EXPECT_EQ(buffer->AddRef(), 3u);  // the caller, the notify, this AddRef
    EXPECT_EQ(buffer->Release(), 2u);
    EXPECT_EQ(buffer->Release(), 1u);  // only the notify holds it now
    TEvent event;
    const DSBPOSITIONNOTIFY position{0, &event};
    EXPECT_EQ(notify->SetNotificationPositions(1, &position), DS_OK);
    EXPECT_EQ(notify->Release(), 0u);

    // Without the position-notify capability there is no notify interface.
    ComPtr<IDirectSoundBuffer> plain;
    ASSERT_EQ(MakeBuffer(device.p, 4096, 0, &plain), DS_OK);
    void* none = nullptr;
    EXPECT_EQ(plain->QueryInterface(IID_IDirectSoundNotify8, &none), E_NOINTERFACE);
}

TEST_F(DirectSoundDummy, RefusesWhatItCannotPlay)
{
    WAVEFORMATEX mono = StereoFormat();
    mono.nChannels = 1;
    mono.nBlockAlign = 2;
    mono.nAvgBytesPerSec = 88200;
    DSBUFFERDESC desc{};
    desc.dwSize = sizeof desc;
    desc.dwBufferBytes = 4096;
    desc.lpwfxFormat = &mono;
    IDirectSoundBuffer* buffer = reinterpret_cast<IDirectSoundBuffer*>(1);
    EXPECT_EQ(device->CreateSoundBuffer(&desc, &buffer, nullptr), DSERR_BADFORMAT);
    EXPECT_EQ(buffer, nullptr);

    WAVEFORMATEX stereo = StereoFormat();
    desc.lpwfxFormat = &stereo;
    desc.dwBufferBytes = 4098;  // not whole frames
    EXPECT_LT(device->CreateSoundBuffer(&desc, &buffer, nullptr), 0);
    desc.dwBufferBytes = 0;
    EXPECT_LT(device->CreateSoundBuffer(&desc, &buffer, nullptr), 0);

    // A buffer notifies only at offsets inside it, and only events that exist.
    ComPtr<IDirectSoundBuffer> ok;
    ASSERT_EQ(MakeBuffer(device.p, 4096, DSBCAPS_CTRLPOSITIONNOTIFY, &ok), DS_OK);
    ComPtr<IDirectSoundNotify8> notify;
    ASSERT_EQ(ok->QueryInterface(IID_IDirectSoundNotify8, reinterpret_cast<void**>(&notify)), DS_OK);
    TEvent event;
    DSBPOSITIONNOTIFY outside{4096, &event};
    EXPECT_EQ(notify->SetNotificationPositions(1, &outside), DSERR_INVALIDPARAM);
    DSBPOSITIONNOTIFY noEvent{0, nullptr};
    EXPECT_EQ(notify->SetNotificationPositions(1, &noEvent), DSERR_INVALIDPARAM);
    // Volume beyond the range, or on a buffer without volume control.
    EXPECT_EQ(ok->SetVolume(-100), DSERR_CONTROLUNAVAIL);
    ComPtr<IDirectSoundBuffer> withVolume;
    ASSERT_EQ(MakeBuffer(device.p, 4096, DSBCAPS_CTRLVOLUME, &withVolume), DS_OK);
    EXPECT_EQ(withVolume->SetVolume(1), DSERR_INVALIDPARAM);
    EXPECT_EQ(withVolume->SetVolume(-10001), DSERR_INVALIDPARAM);
}

TEST(DirectSoundCreate, FailsWhenSdlHasNoDevice)
{
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    IDirectSound8* device = reinterpret_cast<IDirectSound8*>(1);
    EXPECT_LT(DirectSoundCreate8(nullptr, &device, nullptr), 0);
    EXPECT_EQ(device, nullptr);
    UseDummyDriver();
}

// What the device plays, captured by SDL's disk driver: buffers at volume 0 come out unchanged,
// at -10000 silent, and two buffers add up (clipped to 16 bits).
TEST(DirectSoundDisk, VolumeAndMixReachTheOutput)
{
    const std::string out = fixture::TempDir() + "/mix.raw";
    UseDiskDriver(out, 1);
    const size_t frames = 11025;  // a quarter of a second
    std::vector<int16_t> ramp(frames * 2);
    for (size_t i = 0; i < ramp.size(); ++i) {
        ramp[i] = static_cast<int16_t>(static_cast<int>(i % 4000) * 8 - 16000 + 1);
    }
    const std::vector<int16_t> loud(frames * 2, 30000);
    {
        ComPtr<IDirectSound8> device;
        ASSERT_EQ(DirectSoundCreate8(nullptr, &device, nullptr), DS_OK);
        auto playOnce = [&](const std::vector<const std::vector<int16_t>*>& sounds, LONG volume) {
            std::vector<IDirectSoundBuffer*> buffers;
            TEvent stopped;
            for (const auto* sound : sounds) {
                IDirectSoundBuffer* b = nullptr;
                ASSERT_EQ(MakeBuffer(device.p, static_cast<DWORD>(sound->size() * 2),
                                     DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPOSITIONNOTIFY, &b),
                          DS_OK);
                Fill(b, *sound);
                ASSERT_EQ(b->SetVolume(volume), DS_OK);
                buffers.push_back(b);
            }
            ComPtr<IDirectSoundNotify8> notify;
            ASSERT_EQ(buffers[0]->QueryInterface(IID_IDirectSoundNotify8, reinterpret_cast<void**>(&notify)), DS_OK);
            const DSBPOSITIONNOTIFY atStop{DSBPN_OFFSETSTOP, &stopped};
            ASSERT_EQ(notify->SetNotificationPositions(1, &atStop), DS_OK);
            // Start them together so that their samples line up.
            for (auto* b : buffers) {
                ASSERT_EQ(b->Play(0, 0, 0), DS_OK);
            }
            EXPECT_TRUE(stopped.Wait(5000)) << "a one-shot buffer stops at its end";
            DWORD play = 1;
            buffers[0]->GetCurrentPosition(&play, nullptr);
            EXPECT_EQ(play, 0u);
            for (auto* b : buffers) {
                b->Release();
            }
        };
        playOnce({&ramp}, 0);
        playOnce({&ramp}, -10000);
        playOnce({&ramp}, -600);
        playOnce({&ramp, &loud}, 0);
    }
    const std::vector<uint8_t> bytes = fixture::ReadFile(out);
    std::vector<int16_t> captured(bytes.size() / 2);
    std::memcpy(captured.data(), bytes.data(), captured.size() * 2);

    // The ramp at full volume, exactly, somewhere in the capture.
    auto find = [&](const std::vector<int16_t>& what, size_t from) -> size_t {
        auto it = std::search(captured.begin() + static_cast<std::ptrdiff_t>(from), captured.end(), what.begin(),
                              what.begin() + 64);
        return static_cast<size_t>(it - captured.begin());
    };
    const size_t first = find(ramp, 0);
    ASSERT_LT(first, captured.size()) << "the ramp at volume 0 was not played unchanged";
    ASSERT_LE(first + ramp.size(), captured.size());
    EXPECT_TRUE(std::equal(ramp.begin(), ramp.end(), captured.begin() + static_cast<std::ptrdiff_t>(first)));

    // After it, nothing but silence until the ramp at -6 dB begins: -10000 played silence.
    size_t next = first + ramp.size();
    while (next < captured.size() && captured[next] == 0) {
        ++next;
    }
    ASSERT_LT(next + ramp.size(), captured.size()) << "nothing after the silent buffer";
    // -600 hundredths of a decibel is a gain of 10^(-0.3), about 0.501.
    for (size_t i = 0; i < ramp.size(); i += 997) {
        EXPECT_NEAR(captured[next + i], ramp[i] * 0.501187, 1.0) << i;
    }
    // Last, the ramp plus 30000, clipped at 32767.
    size_t mixed = next + ramp.size();
    while (mixed < captured.size() && captured[mixed] == 0) {
        ++mixed;
    }
    ASSERT_LE(mixed + ramp.size(), captured.size());
    for (size_t i = 0; i < ramp.size(); i += 13) {
        EXPECT_EQ(captured[mixed + i], std::min(32767, ramp[i] + 30000)) << i;
    }
    UseDummyDriver();
}

TEST(Event, AutoResetAndWaitForAnyTakesTheLowestSignalled)
{
    TEvent a;
    TEvent b;
    TEvent c;
    TEvent* all[3] = {&a, &b, &c};
    EXPECT_EQ(TEvent::WaitAny(all, 3, 0), TEvent::Timeout);
    c.Set();
    b.Set();
    EXPECT_EQ(TEvent::WaitAny(all, 3, 0), 1);
    EXPECT_EQ(TEvent::WaitAny(all, 3, 0), 2);
    EXPECT_EQ(TEvent::WaitAny(all, 3, 0), TEvent::Timeout) << "each signal is taken once";
    a.Set();
    a.Reset();
    EXPECT_FALSE(a.Wait(0));
    TEvent* withNull[2] = {&a, nullptr};
    EXPECT_EQ(TEvent::WaitAny(withNull, 2, 0), TEvent::Failed);
    EXPECT_EQ(TEvent::WaitAny(all, 0, 0), TEvent::Failed);
}

TEST(Event, WakesAWaiterOnAnotherThreadEveryTime)
{
    TEvent ping;
    TEvent pong;
    TEvent idle;
    TEvent* waits[2] = {&idle, &pong};
    std::thread other([&] {
        for (int i = 0; i < 2000; ++i) {
            ASSERT_TRUE(ping.Wait(10000));
            pong.Set();
        }
    });
    for (int i = 0; i < 2000; ++i) {
        ping.Set();
        ASSERT_EQ(TEvent::WaitAny(waits, 2, 10000), 1);
    }
    other.join();
}

TEST_F(DirectSoundDummy, PlayCursorMovesBetweenCallbacksAndStaysBehindWriteCursor)
{
    ComPtr<IDirectSoundBuffer> buffer;
    ASSERT_EQ(MakeBuffer(device.p, 2 * Second, 0, &buffer), DS_OK);
    ASSERT_EQ(buffer->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    std::vector<DWORD> seen;
    std::vector<DWORD> written;
    const DWORD callback = DSOutputFrames * 4;
    for (int i = 0; i < 100; ++i) {
        DWORD play = 0;
        DWORD write = 0;
        ASSERT_EQ(buffer->GetCurrentPosition(&play, &write), DS_OK);
        // The play cursor runs at most one callback behind the write cursor, never ahead of it.
        EXPECT_LE((write + 2 * Second - play) % (2 * Second), callback) << i;
        if (seen.empty() || seen.back() != play) {
            seen.push_back(play);
        }
        if (written.empty() || written.back() != write) {
            written.push_back(write);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    // Between two callbacks the play cursor shows several places, not only the chunk's start.
    EXPECT_GT(seen.size(), 2 * written.size());
    ASSERT_EQ(buffer->Stop(), DS_OK);
}

// The thread that hands the sound to the device runs real-time wherever this process may have
// it, and otherwise at the highest ordinary priority it may have; what RaiseCurrent reports is
// what a thread then has.
TEST_F(DirectSoundDummy, TheDeviceThreadRunsRealTimeWhereTheSystemAllowsIt)
{
    struct Outcome {
        TThreadPriority::TGot got;
        int policy;
        int nice;
    };
    const auto raised = [](int realtime, int nice) {
        Outcome o{};
        std::thread([&] {
            o.got = TThreadPriority::RaiseCurrent(realtime, nice);
            o.policy = sched_getscheduler(0);
            o.nice = getpriority(PRIO_PROCESS, 0);
        }).join();
        return o;
    };
    const Outcome realtime = raised(3, -5);
    const Outcome niceOnly = raised(0, -5);
    const int niceBefore = getpriority(PRIO_PROCESS, 0);
    for (const Outcome& o : {realtime, niceOnly}) {
        if (o.got == TThreadPriority::TGot::RealTime) {
            EXPECT_TRUE(o.policy == SCHED_FIFO || o.policy == SCHED_RR) << o.policy;
        } else if (o.got == TThreadPriority::TGot::Nice) {
            EXPECT_EQ(o.policy, SCHED_OTHER);
            EXPECT_LE(o.nice, -5);
        } else {
            EXPECT_EQ(o.policy, SCHED_OTHER);
            EXPECT_EQ(o.nice, niceBefore);
        }
    }
    EXPECT_NE(niceOnly.got, TThreadPriority::TGot::RealTime);  // 0 asks for no real-time class

    // SDL names the device's thread; it has run its first callback by now.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    int devicePolicy = -1;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::string name;
        std::getline(std::ifstream(task.path() / "comm"), name);
        if (name.rfind("SDLAudio", 0) == 0)
            devicePolicy = sched_getscheduler(std::stoi(task.path().filename().string()));
    }
    ASSERT_NE(devicePolicy, -1) << "no SDL audio thread found";
    if (realtime.got == TThreadPriority::TGot::RealTime)
        EXPECT_TRUE(devicePolicy == SCHED_FIFO || devicePolicy == SCHED_RR) << devicePolicy;
    else
        EXPECT_EQ(devicePolicy, SCHED_OTHER);
}
