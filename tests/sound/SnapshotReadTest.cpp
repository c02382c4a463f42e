// The reads a display makes while a piece plays (the decoder's place, the time heard, the level and
// the spectrum) never wait for a block being rendered, and what they return is always the state
// of a finished block or seek, never a block half done. Run under ThreadSanitizer as well.
#include "OggDataLib.h"
#include "OggFixture.h"
#include "OggWuvorbisLib.h"
#include "SoundTestSupport.h"
#include "TDSOggStream.h"
#include "TDXSound.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

class SnapshotRead : public ::testing::Test {
protected:
    static void SetUpTestSuite() { _VorbisfileInitialize(fixture::BinDir() + "/wuvorbis.dll"); }

    static const std::string& Piece()
    {
        static const std::string path =
            fixture::WriteTemp(fixture::Encode(fixture::Noise(4.0), {"TITLE=snap"}, 0.0f), "snap.ogg");
        return path;
    }

    // Everything a display reads, once; the values must be those of some finished state.
    static void ReadAll(TOggData& data, float total)
    {
        const float tell = data.TimeTell();
        ASSERT_GE(tell, 0.0f);
        ASSERT_LE(tell, total + 0.001f);
        const float heard = data.GetOutputTime();
        ASSERT_GE(heard, 0.0f);
        ASSERT_LE(heard, total + 0.001f);
        const float level = data.GetOutputSum();
        ASSERT_GE(level, 0.0f);
        ASSERT_LE(level, 1.0f);
        float graph[256];
        data.GetOutputGraph(graph);
        for (float v : graph)
            ASSERT_TRUE(std::isfinite(v));
        (void)data.GetOutputWavePos();
        (void)data.GetPlayState();
    }
};

TEST_F(SnapshotRead, ReadsDoNotWaitForABlockBeingRendered)
{
    TOggData data(OutputFormat::StreamBufferBytes);
    ASSERT_TRUE(data.LoadOgg(Piece()));
    data.SetEQ4(1.6f, 0.4f, 1.2f, 0.7f, 0.0f);
    data.Play(true);  // repeats, so one long range keeps the decoder busy for a long while
    std::vector<uint8_t> range(OutputFormat::BytesPerSecond * 90);
    std::thread render([&] { data.RenderingToPointer(range.data(), static_cast<int32_t>(range.size())); });
    while (!data.IsBusy())
        std::this_thread::yield();
    const float tell = data.TimeTell();
    ReadAll(data, data.TotalTime);
    // Every read has come back while the range is still being rendered, and none of them saw the
    // decoder half way through it.
    EXPECT_TRUE(data.IsBusy());
    EXPECT_EQ(tell, 0.0f);
    render.join();
    EXPECT_GT(data.TimeTell(), 0.0f);
    EXPECT_EQ(data.TimeTell(), data.DecoderTime());
}

TEST_F(SnapshotRead, TheDecoderPlaceIsAlwaysThatOfAFinishedBlockOrSeek)
{
    TOggData data(OutputFormat::StreamBufferBytes);
    ASSERT_TRUE(data.LoadOgg(Piece()));
    data.SetEQ4(0.5f, 1.5f, 1.5f, 0.5f, 0.0f);
    data.Play(false);
    std::atomic<bool> done{false};
    std::atomic<int> reads{0};
    // The blocks are whole seconds and the seeks go to 0.5 s, before the piece's end is reached,
    // so any place read is a multiple of half a second.
    std::thread reader([&] {
        while (!done.load()) {
            const float t = data.TimeTell();
            const float halves = t * 2.0f;
            ASSERT_NEAR(halves, std::round(halves), 0.002f) << t;
            ReadAll(data, data.TotalTime);
            reads.fetch_add(1);
        }
    });
    std::vector<uint8_t> block(OutputFormat::BlockBytes);
    for (int i = 0; i < 24; ++i) {
        if (i % 3 == 2)
            data.TimeSeek(0.5f);
        data.RenderBlock(block, {}, false);
    }
    done = true;
    reader.join();
    EXPECT_GT(reads.load(), 0);
}

TEST_F(SnapshotRead, AStreamPlayingWithAnEqualiserIsReadFreelyWhileSeeking)
{
    soundtest::UseDummyDriver();
    TDXSound sound;
    TSoundFormat format{OutputFormat::Rate};
    ASSERT_TRUE(sound.Init(reinterpret_cast<HWND>(1), &format));
    TDSOggStream stream;
    ASSERT_TRUE(stream.Init(&sound));
    ASSERT_TRUE(stream.Play(Piece(), true));
    ASSERT_NE(stream.GetOggData(), nullptr);
    stream.GetOggData()->SetEQ4(1.8f, 0.3f, 1.0f, 1.4f, 0.5f);
    const float total = stream.GetTotalTime();

    std::atomic<bool> done{false};
    std::thread display([&] {
        while (!done.load()) {
            const float heard = stream.GetOutputTime();
            ASSERT_GE(heard, 0.0f);
            ASSERT_LE(heard, total + 0.001f);
            ASSERT_LE(stream.TimeTell(), total + 0.001f);
            (void)stream.IsPlaying();
            (void)stream.IsPaused();
            ReadAll(*stream.GetOggData(), total);
            std::this_thread::sleep_for(1ms);
        }
    });
    const auto end = std::chrono::steady_clock::now() + 3s;
    while (std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(250ms);
        stream.Forward(1.0f);
        std::this_thread::sleep_for(250ms);
        stream.Rewind(1.0f);
    }
    done = true;
    display.join();
    stream.Release();
}

}
