// Output analysis on a ring filled by hand, with the tick count pinned so no test sleeps.
#include "OggDataLib.h"
#include "TickCount.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr int32_t kRing = OutputFormat::StreamBufferBytes;

class Analysis : public ::testing::Test {
protected:
    void SetUp() override { TickCount::Pin(1000000); }
    void TearDown() override { TickCount::Release(); }

    // As if a request had just started rendering into the given half.
    void Rendered(int32_t offset)
    {
        d.RenderOffset = offset;
        d.RenderTick = TickCount::Get();
    }
    TLRWavePack* Ring() { return reinterpret_cast<TLRWavePack*>(d.Memory()); }

    TOggData d{kRing};
};

}

TEST_F(Analysis, PositionFollowsTheClockFromTheHalfNotRenderedLast)
{
    EXPECT_EQ(d.GetOutputWavePos(), -1);  // nothing rendered yet
    Rendered(kRing / 2);
    EXPECT_EQ(d.GetOutputWavePos(), 0);
    TickCount::Advance(500);
    EXPECT_EQ(d.GetOutputWavePos(), 88200);

    Rendered(0);
    EXPECT_EQ(d.GetOutputWavePos(), kRing / 2);
    TickCount::Advance(1900);
    EXPECT_EQ(d.GetOutputWavePos(), 158760);
    TickCount::Advance(100);
    EXPECT_EQ(d.GetOutputWavePos(), kRing / 2);  // exactly the ring's length: still valid
    TickCount::Advance(100);
    EXPECT_EQ(d.GetOutputWavePos(), -1);

    // A tick count behind the request (the counter wrapped) is no position either.
    d.RenderTick = TickCount::Get() + 10;
    EXPECT_EQ(d.GetOutputWavePos(), -1);
}

TEST_F(Analysis, StaleOrMissingPositionReportsSilence)
{
    for (int i = 0; i < kRing / 4; ++i)
        Ring()[i] = {12000, -12000};
    Rendered(0);
    EXPECT_GT(d.GetOutputSum(), 0.3f);
    TickCount::Advance(2100);
    EXPECT_EQ(d.GetOutputSum(), 0.0f);
    EXPECT_EQ(d.GetOutputSum(0), 0.0f);
    float values[256];
    std::fill(values, values + 256, -1.0f);
    d.GetOutputGraph(values);
    for (float v : values)
        EXPECT_EQ(v, 0.0f);
}

TEST_F(Analysis, LevelIsTheMeanMagnitudeAndWrapsAtTheRingsEnd)
{
    const int frames = kRing / 4;
    for (int i = 0; i < frames; ++i)
        Ring()[i] = {-32768, -32768};
    Rendered(kRing / 2);
    EXPECT_EQ(d.GetOutputSum(0), 1.0f);
    EXPECT_EQ(d.GetOutputSum(1), 1.0f);
    EXPECT_EQ(d.GetOutputSum(2), 1.0f);
    EXPECT_EQ(d.GetOutputSum(), 1.0f);

    // Close to the end of the ring: the frames up to the end, then the first ones of the ring.
    Rendered(kRing / 2);
    TickCount::Advance(1997);  // 352268: 133 frames before the end
    const int32_t pos = d.GetOutputWavePos();
    ASSERT_EQ(pos, 352268);
    const int before = (kRing - pos) / 4;
    const int after = 256 - before;
    for (int i = 0; i < frames; ++i)
        Ring()[i] = {0, 0};
    for (int i = frames - before; i < frames; ++i)
        Ring()[i] = {25600, 0};
    for (int i = 0; i < after; ++i)
        Ring()[i] = {0, -12800};
    Ring()[after] = {32767, 32767};           // the 257th frame is not read
    Ring()[frames - before - 1] = {32767, 32767};  // nor the one before the position
    EXPECT_FLOAT_EQ(d.GetOutputSum(0), static_cast<float>(25600 * before / 256) / 32768.0f);
    EXPECT_FLOAT_EQ(d.GetOutputSum(1), static_cast<float>(12800 * after / 256) / 32768.0f);
    EXPECT_FLOAT_EQ(d.GetOutputSum(2),
                    static_cast<float>(25600 * before / 256 + 12800 * after / 256) / 65536.0f);
}

TEST_F(Analysis, SpectrumOfSilenceASineAndAConstant)
{
    Rendered(kRing / 2);
    float values[256];
    d.GetOutputGraph(values);
    for (float v : values)
        EXPECT_EQ(v, 0.0f);
    EXPECT_EQ(d.GetOutputSum(), 0.0f);

    // Left-only full-scale sine at 11025 Hz: 64 cycles per 256 frames.
    for (int i = 0; i < kRing / 4; ++i)
        Ring()[i] = {static_cast<int16_t>(std::lrint(32767.0 * std::sin(2.0 * M_PI * i / 4.0))), 0};
    d.GetOutputGraph(values);
    // Both signs of the frequency carry half the amplitude; the weighting differs slightly
    // between bin 192 (values[127]) and bin 64 (values[128]).
    EXPECT_NEAR(values[127], 20.2f, 0.1f);
    EXPECT_NEAR(values[128], 20.4f, 0.1f);
    for (int i = 0; i < 256; ++i) {
        if (i < 120 || i > 135) {
            EXPECT_LT(values[i], 0.5f) << i;
        }
    }

    for (int i = 0; i < kRing / 4; ++i)
        Ring()[i] = {32767, 32767};
    d.GetOutputGraph(values);
    EXPECT_NEAR(values[0], 5.4f, 0.1f);
    // The window's edges are not zero, so a little leaks into the lowest bins only.
    for (int i = 1; i < 256; ++i)
        EXPECT_LT(values[i], i < 8 ? 1.0f : 0.1f) << i;
}
