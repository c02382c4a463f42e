// The stream player when its device is lost and comes back, on the test device that takes frames
// only when told (TManualAudioDevice): what the listener does meanwhile, and what is heard once a
// device is back, frame for frame against the blocks TOggData renders.
#include "OggFixture.h"
#include "OggWuvorbisLib.h"
#include "TDSOggStream.h"
#include "TDXSound.h"
#include "TDirectSoundBuffer.h"
#include "TManualAudioDevice.h"
#include "WaitFor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

using fixture::WaitFor;
using namespace std::chrono_literals;

namespace {

using Samples = std::vector<int16_t>;

Samples Rendered(const std::string& path, int blocks)
{
    TOggData data(OutputFormat::StreamBufferBytes);
    EXPECT_TRUE(data.LoadOgg(path));
    data.Play(false);
    Samples out;
    for (int i = 0; i < blocks; ++i) {
        data.Rendering();
        const auto* p = reinterpret_cast<const int16_t*>(data.Offset());
        out.insert(out.end(), p, p + OutputFormat::BlockBytes / 2);
    }
    return out;
}

// The first frame at which heard differs from the piece from frame on, or -1.
long Mismatch(const Samples& heard, const Samples& piece, size_t frame)
{
    const auto from = piece.begin() + static_cast<std::ptrdiff_t>(std::min(frame * 2, piece.size()));
    if (static_cast<size_t>(piece.end() - from) < heard.size()) {
        return static_cast<long>((piece.end() - from) / 2);
    }
    const auto diff = std::mismatch(heard.begin(), heard.end(), from);
    return diff.first == heard.end() ? -1 : static_cast<long>((diff.first - heard.begin()) / 2);
}

class DeviceLoss : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        _VorbisfileInitialize(fixture::BinDir() + "/wuvorbis.dll");
        first = fixture::WriteTemp(fixture::Encode(fixture::Noise(8, 2, 44100, 0.3, 11)), "loss-first.ogg");
        second = fixture::WriteTemp(fixture::Encode(fixture::Noise(8, 2, 44100, 0.3, 12)), "loss-second.ogg");
        pieceFirst = Rendered(first, 6);
        pieceSecond = Rendered(second, 6);
    }
    void SetUp() override
    {
        TSoundFormat format{OutputFormat::Rate};
        ASSERT_TRUE(sound.Init(nullptr, &format));
        stream.Init(&sound);
    }

    // The device takes frames a few thousand at a time, the stream thread finishing each refill
    // it asked for first, as at a real device's pace. Silence taken before the buffer starts
    // playing (the thread starts it after its first block) is left out.
    Samples Take(int frames)
    {
        Samples heard;
        int idle = 0;
        while (frames > 0) {
            const int n = std::min(frames, 4096);
            Samples s = device.Consume(n);
            if (heard.empty()) {
                const auto sound = std::find_if(s.begin(), s.end(), [](int16_t v) { return v != 0; });
                s.erase(s.begin(), sound - (sound - s.begin()) % 2);
                if (s.empty()) {
                    std::this_thread::sleep_for(2ms);
                    if (++idle > 2000) {
                        ADD_FAILURE() << "the buffer never started";
                        return heard;
                    }
                    continue;
                }
            }
            heard.insert(heard.end(), s.begin(), s.end());
            frames -= n;
            // Refilled: the decoder stands a whole block past the half being played.
            EXPECT_TRUE(WaitFor([&] { return stream.TimeTell() - stream.GetOutputTime() > 0.99f; }, 5s));
        }
        return heard;
    }

    // The device goes while the first piece plays, after before.size() / 2 frames were heard.
    void LoseAfterHearing(int frames)
    {
        ASSERT_TRUE(stream.Play(first, false));
        before = Take(frames);
        ASSERT_EQ(Mismatch(before, pieceFirst, 0), -1);
        device.Lose();
        device.Consume(3072);  // the callback finds it lost
        at = stream.GetOutputTime();
    }

    void ComeBack()
    {
        device.Restore();
        ASSERT_TRUE(device.WaitOpen(3000)) << "no device opened within 3 s of its return";
    }

    inline static std::string first;
    inline static std::string second;
    inline static Samples pieceFirst;
    inline static Samples pieceSecond;
    TManualAudioDevice device;
    TDXSound sound;
    TDSOggStream stream;
    Samples before;
    float at = 0.0f;
};

}

// What the listener does while no device is there, and where the sound goes on once one is back:
// the first piece where it stopped (less what is played again), or a piece from its start.
TEST_F(DeviceLoss, WhatIsDoneWithoutADeviceIsHeardOnceOneIsBack)
{
    constexpr size_t replayed = TDirectSoundBuffer::ReplayBytes / 4;
    struct Case {
        const char* what;
        std::function<void(TDSOggStream&)> without;  // while no device is there
        std::function<void(TDSOggStream&)> back;     // once it is back
        bool fromStart;                              // the piece heard after starts afresh
        bool secondPiece;
    };
    const Case cases[] = {
        {"nothing", [](TDSOggStream&) {}, [](TDSOggStream&) {}, false, false},
        {"pause, resume once back", [](TDSOggStream& s) { s.Pause(); }, [](TDSOggStream& s) { s.Pause(); }, false,
         false},
        {"stop, then play", [](TDSOggStream& s) {
             s.Stop();
             ASSERT_TRUE(s.Play(first, false));
         },
         [](TDSOggStream&) {}, true, false},
        {"next piece", [](TDSOggStream& s) { ASSERT_TRUE(s.Play(second, false)); }, [](TDSOggStream&) {}, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LoseAfterHearing(60000);
        // No device: nothing is taken, and the time stands still, however long it lasts.
        EXPECT_TRUE(device.Consume(44100).empty());
        c.without(stream);
        if (!c.fromStart) {
            EXPECT_EQ(stream.GetOutputTime(), at);
        }
        ComeBack();
        c.back(stream);
        const Samples after = Take(50000);
        const size_t frame = c.fromStart ? 0 : before.size() / 2 - replayed;
        EXPECT_EQ(Mismatch(after, c.secondPiece ? pieceSecond : pieceFirst, frame), -1)
            << "heard after the return is not the piece from frame " << frame;
        EXPECT_GT(stream.GetOutputTime(), c.fromStart ? 1.0f : at + 0.5f) << "the time runs again";
        stream.Stop();
    }
}

// The device goes twice in a row, the second time while what the first loss owes is being played:
// the rest of it is still owed, and nothing is skipped or heard out of order.
TEST_F(DeviceLoss, ALossWhileTheOwedSoundPlaysOwesTheRestToo)
{
    LoseAfterHearing(30000);
    ComeBack();
    const Samples some = Take(4096);
    constexpr size_t replayed = TDirectSoundBuffer::ReplayBytes / 4;
    ASSERT_EQ(Mismatch(some, pieceFirst, before.size() / 2 - replayed), -1);
    device.Lose();
    device.Consume(3072);
    ComeBack();
    const Samples after = Take(30000);
    // Played again from the same place: what the second device got was owed as well.
    EXPECT_EQ(Mismatch(after, pieceFirst, before.size() / 2 - replayed), -1);
}
