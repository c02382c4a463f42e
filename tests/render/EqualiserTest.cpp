// The equaliser on buffers handed to ApplyEQ directly: no decoder involved.
#include "OggDataLib.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

std::vector<TLRWavePack> Steady(int frames, int16_t l, int16_t r)
{
    return std::vector<TLRWavePack>(static_cast<size_t>(frames), TLRWavePack{l, r});
}

void Apply(TOggData& d, std::vector<TLRWavePack>& v)
{
    d.ApplyEQ(v.data(), static_cast<int32_t>(v.size() * 4));
}

}

TEST(Equaliser, FlatGainsLeaveAudioAndStateUntouched)
{
    TOggData d(1024);
    EXPECT_FALSE(d.GetEQ());
    std::vector<TLRWavePack> v;
    for (int i = 0; i < 1000; ++i)
        v.push_back({static_cast<int16_t>(i * 37 - 20000), static_cast<int16_t>(-i * 11)});
    const auto before = v;
    Apply(d, v);
    EXPECT_EQ(0, std::memcmp(before.data(), v.data(), v.size() * 4));

    d.SetEQ(10, 1.006f);
    EXPECT_TRUE(d.GetEQ());
    d.SetEQ(10, 1.004f);
    EXPECT_FALSE(d.GetEQ());
    Apply(d, v);
    EXPECT_EQ(0, std::memcmp(before.data(), v.data(), v.size() * 4));
    // Nothing of that audio went into the filter's history: silence through a real gain stays
    // silence from its first frame.
    d.SetEQ(10, 2.0f);
    auto quiet = Steady(256, 0, 0);
    Apply(d, quiet);
    for (const auto& f : quiet)
        ASSERT_TRUE(f.L == 0 && f.R == 0);
}

TEST(Equaliser, IndexesOutsideTheTableAreIgnored)
{
    TOggData d(1024);
    d.SetEQ(256, 0.0f);
    d.SetEQ(-1, 0.0f, 1.0f);
    EXPECT_FALSE(d.GetEQ());
    EXPECT_EQ(d.GetNowEQ(256), 0.0f);
    EXPECT_EQ(d.GetSetEQ(-1), 0.0f);
    EXPECT_EQ(d.GetNowEQ(255), 1.0f);
}

TEST(Equaliser, RampsAdvanceByTheFramesTakenInAndSnapAtTheEnd)
{
    TOggData d(1024);
    d.SetEQ(3, 0.0f, 1.0f);
    EXPECT_FLOAT_EQ(d.GetEQStep(3), -1.0f / 44100.0f);
    EXPECT_EQ(d.GetNowEQ(3), 1.0f);
    EXPECT_EQ(d.GetSetEQ(3), 0.0f);
    // 192 frames: a full chunk takes in 192 and writes 128, then a chunk of the last 64.
    auto v = Steady(192, 100, 100);
    Apply(d, v);
    EXPECT_NEAR(d.GetNowEQ(3), 1.0f - 256.0f / 44100.0f, 1e-6);

    // A second of audio takes in 192 frames per 128 written: a ramp of one second is done
    // after about two thirds of it, and Now lands exactly on Target.
    auto second = Steady(44100, 100, 100);
    Apply(d, second);
    EXPECT_EQ(d.GetNowEQ(3), 0.0f);
    EXPECT_EQ(d.GetEQStep(3), 0.0f);

    d.SetEQ(4, 0.5f, 0.0009f);
    EXPECT_EQ(d.GetNowEQ(4), 0.5f);
    d.SetEQ(5, 0.5f, 0.001f);
    EXPECT_EQ(d.GetNowEQ(5), 1.0f);
    EXPECT_EQ(d.GetSetEQ(5), 0.5f);
}

TEST(Equaliser, BandCurvesPassThroughTheirControlPointsAndClampAtZero)
{
    TOggData d(1024);
    d.SetEQ4(1, 1, 1, 1, 0);
    for (int i = 0; i < 256; ++i)
        EXPECT_NEAR(d.GetNowEQ(i), 1.0f, 1e-6) << i;
    EXPECT_FALSE(d.GetEQ());

    d.SetEQ4(1, 2, 1, 2, 0);
    EXPECT_EQ(d.GetNowEQ(85), 2.0f);
    EXPECT_EQ(d.GetNowEQ(170), 1.0f);
    EXPECT_NEAR(d.GetNowEQ(42), 1.6176f, 5e-5);

    d.SetEQ4(2, 0, 0, 2, 0);
    EXPECT_EQ(d.GetNowEQ(0), 2.0f);
    EXPECT_EQ(d.GetNowEQ(255), 2.0f);
    for (int i = 85; i <= 170; ++i) {
        EXPECT_EQ(d.GetNowEQ(i), 0.0f) << i;
        EXPECT_FALSE(std::signbit(d.GetNowEQ(i))) << i;
    }
    EXPECT_GT(d.GetNowEQ(84), 0.0f);
    EXPECT_GT(d.GetNowEQ(171), 0.0f);

    float sixteen[16];
    for (int k = 0; k < 16; ++k)
        sixteen[k] = 0.1f * static_cast<float>(k);
    d.SetEQ16(sixteen, 0);
    for (int k = 0; k < 16; ++k)
        EXPECT_EQ(d.GetNowEQ(17 * k), sixteen[k]) << k;

    const float eight[8] = {3, 3, 3, 3, 3, 3, 3, 3};
    d.SetEQ8(eight, 2.0f);
    EXPECT_EQ(d.GetSetEQ(100), 3.0f);
    EXPECT_NEAR(d.GetNowEQ(0), 0.0f, 1e-6);  // ramping from the previous curve, not yet moved

    EXPECT_EQ(TOggData::Harmite2(sixteen, -5.0f, 16), sixteen[0]);
    EXPECT_EQ(TOggData::Harmite2(sixteen, 99.0f, 16), sixteen[15]);
    EXPECT_EQ(TOggData::Harmite2(sixteen, NAN, 16), sixteen[0]);
    EXPECT_EQ(TOggData::Harmite2(nullptr, 1.0f, 16), 0.0f);
}

TEST(Equaliser, ZeroAtZeroHertzRipplesWithThePeriodOfAChunk)
{
    TOggData d(1024);
    d.SetEQ(0, 0.0f);
    auto v = Steady(44100, 1000, 1000);
    Apply(d, v);
    const int16_t start[5] = {242, 245, 249, 253, 256};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(v[i].L, start[i]) << i;
        EXPECT_EQ(v[i].R, start[i]) << i;
    }
    for (int chunk = 1; chunk < 344; ++chunk) {
        const TLRWavePack* c = &v[static_cast<size_t>(chunk) * 128];
        ASSERT_EQ(c[0].L, 41) << chunk;
        ASSERT_EQ(c[1].L, 46) << chunk;
        ASSERT_EQ(c[2].L, 51) << chunk;
        ASSERT_EQ(c[64].L, 182) << chunk;
        ASSERT_EQ(c[127].L, 46) << chunk;
        for (int j = 0; j < 128; ++j)
            ASSERT_EQ(c[j].L, c[j].R) << chunk << " " << j;
        for (int j = 1; j <= 64; ++j)
            ASSERT_GE(c[j].L, c[j - 1].L) << chunk << " " << j;
    }
}

TEST(Equaliser, DoublingClipsSymmetricallyAndShortRequestsArePadded)
{
    TOggData d(1024);
    for (int i = 0; i < 256; ++i)
        d.SetEQ(i, 2.0f);
    std::vector<TLRWavePack> v = {{1000, -1000}, {20000, -20000}, {-32768, 32767}, {0, 1}};
    for (int i = 0; i < 96; ++i)
        v.push_back({static_cast<int16_t>(i * 100), static_cast<int16_t>(-i * 100)});
    ASSERT_EQ(v.size(), 100u);  // one chunk of 100 new frames, padded with the last one
    Apply(d, v);
    EXPECT_EQ(v[0].L, 2000);
    EXPECT_EQ(v[0].R, -2000);
    EXPECT_EQ(v[1].L, 32767);
    EXPECT_EQ(v[1].R, -32767);
    EXPECT_EQ(v[2].L, -32767);
    EXPECT_EQ(v[2].R, 32767);
    EXPECT_EQ(v[3].R, 2);
    for (int i = 0; i < 96; ++i) {
        EXPECT_EQ(v[4 + i].L, i * 200) << i;
        EXPECT_EQ(v[4 + i].R, -i * 200) << i;
    }

    TLRWavePack tiny{123, 456};
    d.ApplyEQ(&tiny, 3);
    EXPECT_EQ(tiny.L, 123);
    EXPECT_EQ(tiny.R, 456);
}

TEST(Equaliser, SilencingEveryBandSilencesTheOutput)
{
    TOggData d(1024);
    d.SetEQ4(0, 0, 0, 0, 0);
    EXPECT_TRUE(d.GetEQ());
    std::vector<TLRWavePack> v;
    for (int i = 0; i < 5000; ++i)
        v.push_back({static_cast<int16_t>((i * 7919) % 65536 - 32768), static_cast<int16_t>(i % 3000)});
    Apply(d, v);
    for (const auto& f : v) {
        ASSERT_EQ(f.L, 0);
        ASSERT_EQ(f.R, 0);
    }
}

TEST(Equaliser, LoudNoiseNeverProducesMinus32768)
{
    TOggData d(1024);
    d.SetEQ4(3, 0.5f, 2, 4, 0);
    std::vector<TLRWavePack> v;
    uint32_t x = 1;
    for (int i = 0; i < 20000; ++i) {
        x = x * 1664525u + 1013904223u;
        v.push_back({static_cast<int16_t>(x >> 16), static_cast<int16_t>(x & 0xFFFF)});
    }
    Apply(d, v);
    for (const auto& f : v) {
        ASSERT_NE(f.L, -32768);
        ASSERT_NE(f.R, -32768);
    }
}
