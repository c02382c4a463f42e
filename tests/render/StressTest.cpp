// One thread renders block after block while another seeks, stops, plays, fades, equalises,
// queries and loads new files. Meant to run under ThreadSanitizer as well.
#include "OggDataLib.h"
#include "OggWuvorbisLib.h"

#include "OggFixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <iterator>
#include <random>
#include <thread>

TEST(RenderStress, RenderingWhileTheCallerSeeksStopsPlaysAndLoads)
{
    _VorbisfileInitialize(fixture::BinDir() + "/wuvorbis.dll");
    const auto stereo = fixture::Encode(fixture::Noise(3.0, 2, 44100, 0.4, 4));
    const auto mono = fixture::Encode(fixture::Sine(1.5, {500.0}, 1));
    const auto other = fixture::Encode(fixture::Noise(2.0, 6, 48000, 0.3, 5));
    auto looped = fixture::ContainerHeader({{0.5f, 1.25f, -1}, {0.2f, 2.9f, 3}});
    auto converted = looped;
    looped.insert(looped.end(), stereo.begin(), stereo.end());
    converted.insert(converted.end(), other.begin(), other.end());
    const std::string files[] = {
        fixture::WriteTemp(stereo, "stress-stereo.ogg"),
        fixture::WriteTemp(mono, "stress-mono.ogg"),
        fixture::WriteTemp(looped, "stress-loop.qv"),
        fixture::WriteTemp(converted, "stress-six48.qv"),
        fixture::WriteTemp({'j', 'u', 'n', 'k'}, "stress-junk.ogg"),
    };

    // Small blocks, so that many of them start while the caller is busy.
    TOggData d(2 * 4410 * 4);
    ASSERT_TRUE(d.LoadOgg(files[0]));
    d.Play(true);

    std::atomic<bool> done{false};
    std::atomic<int64_t> blocks{0};
    std::atomic<bool> outOfRange{false};
    std::thread renderer([&] {
        while (!done.load()) {
            d.Rendering();
            const int32_t r = d.RenderingToPointer(d.Memory(), 4410 * 4);
            if (r > 4410 * 4)
                outOfRange = true;
            blocks.fetch_add(1);
            // The player renders once a second; a renderer that takes the render lock back at
            // once starves the caller (under ThreadSanitizer for minutes per command, since the
            // lock is not fair). A short rest still starts many blocks during the caller's work.
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });

    std::mt19937 rng(42);
    float graph[256];
    float lastVolume = 1.0f;
    for (int i = 0; i < 1000; ++i) {
        d.TimeSeek(std::uniform_real_distribution<float>(-1.0f, 4.0f)(rng));
        if (i % 7 == 0)
            d.Stop();
        d.Play(i % 2 == 0);
        if (i % 3 == 0) {
            try {
                d.LoadOgg(files[rng() % std::size(files)]);
            } catch (const std::exception&) {
                // the junk file: the object is left empty until the next load
            }
            d.Play(i % 2 == 0);
        }
        lastVolume = std::uniform_real_distribution<float>(0.2f, 1.0f)(rng);
        if (i % 5 == 0)
            d.SetVolume(lastVolume, 0.05f);
        else
            d.SetVolume(lastVolume);
        d.SetEQ(static_cast<int32_t>(rng() % 256), (i % 4 == 0) ? 1.0f : 1.5f, (i % 2) ? 0.1f : 0.0f);
        d.SetMasterVolume(1.0f);
        (void)d.TimeTell();
        (void)d.GetOutputTime();
        (void)d.GetPlayState();
        (void)d.GetOutputSum();
        d.GetOutputGraph(graph);
        d.SetLoopCount(static_cast<int32_t>(i % 16), 0);
    }
    // A volume set while blocks are being rendered is not overwritten by the block in flight.
    d.SetVolume(0.5f);
    d.LoadOgg(files[0]);
    d.Play(true);
    const int64_t seen = blocks.load();
    while (blocks.load() < seen + 5)
        std::this_thread::yield();
    EXPECT_EQ(d.GetNowVolume(), d.GetSetVolume());
    EXPECT_EQ(d.GetSetVolume(), 0.5f);
    done = true;
    renderer.join();
    EXPECT_FALSE(outOfRange.load());
    EXPECT_GT(blocks.load(), 0);
    (void)lastVolume;
    d.Init();
    _VorbisfileFinalize();
}
