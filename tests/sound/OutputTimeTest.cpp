// The time the stream player reports is the place in the piece of the sound being heard: a
// container of a rising ramp, looped, played on SDL's disk driver, and the time read at the
// moments the captured sound is known, compared with the ramp's value there.
#include "OggFixture.h"
#include "OggWuvorbisLib.h"
#include "SoundTestSupport.h"
#include "TDSOggStream.h"
#include "TDXSound.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <thread>

using namespace soundtest;
using namespace std::chrono_literals;

namespace {

constexpr double kLength = 8.0;
constexpr float kLoopStart = 2.0f;
constexpr float kLoopEnd = 6.0f;
constexpr double kAmplitude = 0.8;

// How far the reported time may stand from the sound heard. Under the sanitizers every thread
// runs several times slower, and the device thread's mixing between moving its cursor and
// writing its chunk stretches with it (a chunk is 93 ms since the device takes 4096 frames a
// callback): those builds look for races here, not for precision.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr double kTolerance = 0.15;
#else
constexpr double kTolerance = 0.05;
#endif

// The place in the ramp that a left sample stands for.
double RampTime(int16_t sample)
{
    return (sample / 32767.0 / kAmplitude + 1.0) / 2.0 * kLength;
}

}

TEST(OutputTime, FollowsTheSoundHeardAcrossLoopJumps)
{
    _VorbisfileInitialize(fixture::BinDir() + "/wuvorbis.dll");
    std::vector<uint8_t> bytes = fixture::ContainerHeader({{kLoopStart, kLoopEnd, -1}});
    const std::vector<uint8_t> ogg = fixture::Encode(fixture::Ramp(kLength, 2, 44100, kAmplitude));
    bytes.insert(bytes.end(), ogg.begin(), ogg.end());
    const std::string path = fixture::WriteTemp(bytes, "ramp.qv");
    const std::string capture = fixture::TempDir() + "/ramp.raw";

    // Real time: the captured file grows as the sound is played.
    UseDiskDriver(capture);
    TDXSound sound;
    TSoundFormat format{OutputFormat::Rate};
    ASSERT_TRUE(sound.Init(nullptr, &format));
    TDSOggStream stream;
    stream.Init(&sound);
    ASSERT_TRUE(stream.Play(path, false));

    int readings = 0;
    double worst = 0.0;
    bool inside = false;
    const auto end = std::chrono::steady_clock::now() + 11s;
    while (std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(100ms);
        const auto before = std::filesystem::file_size(capture);
        const float t = stream.GetOutputTime();
        const auto after = std::filesystem::file_size(capture);
        // The driver writes a chunk to the file only after the mixer has taken it: on a busy
        // machine the clock may already count a chunk the file does not hold yet.
        std::this_thread::sleep_for(30ms);
        const auto later = std::filesystem::file_size(capture);
        if (before != after || after != later || before < 4 * 4410)
            continue;  // the driver wrote meanwhile: the heard place is not known exactly
        // The last frame written is the one being heard.
        const std::vector<uint8_t> raw = fixture::ReadFile(capture);
        int16_t left = 0;
        std::memcpy(&left, raw.data() + (after / 4 - 1) * 4, 2);
        const double heard = RampTime(left);
        if (heard < 0.3)
            continue;  // the silence before the piece
        ++readings;
        worst = std::max(worst, std::fabs(t - heard));
        inside = inside || t >= kLoopStart + 0.5f;
        if (inside) {
            EXPECT_GE(t, kLoopStart - 0.05f) << "reading " << readings;
            EXPECT_LE(t, kLoopEnd + 0.05f) << "reading " << readings;
        }
    }
    stream.Release();
    UseDummyDriver();
    EXPECT_GE(readings, 30);
    EXPECT_LT(worst, kTolerance) << "worst difference in seconds";
}
