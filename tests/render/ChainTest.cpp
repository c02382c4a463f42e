// Chained streams: several Ogg Vorbis streams one after another in one file, each link at its own
// rate and channel count. Each link must sound as a file holding only that link renders, joined
// without a gap, through seeks, loop jumps and the whole-file repeat.
#include "OggDataLib.h"
#include "OggWuvorbisLib.h"
#include "RateConverter.h"
#include "TOggPage.h"

#include "OggFixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

namespace {

constexpr int32_t kBlock = OutputFormat::BlockBytes;

// The decoder library is loaded for the whole program by RenderTest.cpp's environment.

struct Link {
    int channels;
    int rate;
    double seconds;
    bool damaged = false;  // its setup header garbled (the page's checksum made right again)
};

// A link of noise with a serial number of its own (links sharing one cannot be told apart).
std::vector<uint8_t> EncodeLink(const Link& l, int index)
{
    auto bytes = fixture::Encode(fixture::Noise(l.seconds, l.channels, l.rate, 0.4, static_cast<uint32_t>(index + 3)),
                                 {}, 0.4f, 1000 + index);
    if (l.damaged) {
        // The second page holds the comment and setup headers, the setup's codebooks mid-page.
        const auto size = static_cast<int64_t>(bytes.size());
        const int64_t page = TOggPage::Length(bytes.data(), size);
        const int64_t length = TOggPage::Length(bytes.data() + page, size - page);
        for (int64_t i = page + length / 2; i < page + length / 2 + 64; ++i)
            bytes[static_cast<size_t>(i)] ^= 0x5A;
        const uint32_t crc = TOggPage::Checksum(bytes.data() + page, length);
        for (int i = 0; i < 4; ++i)
            bytes[static_cast<size_t>(page + 22 + i)] = static_cast<uint8_t>(crc >> (8 * i));
    }
    return bytes;
}

struct Played {
    std::vector<int16_t> samples;  // whole blocks
    int64_t frames = 0;            // what the blocks reported as sound
    bool stopped = false;
    std::vector<float> tells;  // TimeTell after each block
};

Played PlayOut(TOggData& d, int maxBlocks, bool repeat = false)
{
    Played p;
    std::vector<uint8_t> block(kBlock);
    d.Play(repeat);
    for (int b = 0; b < maxBlocks && !p.stopped; ++b) {
        p.frames += d.RenderBlock(block, {}, false) / 4;
        const auto* s = reinterpret_cast<const int16_t*>(block.data());
        p.samples.insert(p.samples.end(), s, s + kBlock / 2);
        p.stopped = d.GetPlayState() == psSTOP;
        p.tells.push_back(d.TimeTell());
    }
    return p;
}

// The sound of a file holding only these bytes, from `seek` seconds on, as the engine renders it.
std::vector<int16_t> Alone(const std::vector<uint8_t>& bytes, float seek = 0.0f)
{
    TOggData d(OutputFormat::StreamBufferBytes);
    EXPECT_TRUE(d.LoadOgg(fixture::WriteTemp(bytes, "alone.ogg")));
    if (seek > 0.0f)
        d.TimeSeek(seek);
    Played p = PlayOut(d, 30);
    p.samples.resize(static_cast<size_t>(p.frames) * 2);
    return p.samples;
}

// Frames [from, to) of a stereo decode converted in one piece by a fresh converter, flushed, as
// the engine gives them out with full volumes (each sample as it is).
std::vector<int16_t> Converted(const fixture::Decoded& ref, int64_t from, int64_t to)
{
    TRateConverter c(static_cast<double>(ref.rate));
    const auto frames = static_cast<size_t>(to - from);
    std::vector<int16_t> out((frames * OutputFormat::Rate / static_cast<size_t>(ref.rate) + 64) * 2);
    size_t used = 0;
    size_t done = c.Process(ref.samples.data() + from * 2, frames, used, out.data(), out.size() / 2);
    for (size_t f = 1; f > 0; done += f)
        f = c.Flush(out.data() + done * 2, out.size() / 2 - done);
    out.resize(done * 2);
    return out;
}

// got holds want from frame `at` on, each sample within tolerance.
::testing::AssertionResult Holds(const std::vector<int16_t>& got, size_t at, const std::vector<int16_t>& want,
                                 int tolerance)
{
    if (got.size() < at * 2 + want.size())
        return ::testing::AssertionFailure() << "too short";
    for (size_t i = 0; i < want.size(); ++i)
        if (std::abs(got[at * 2 + i] - want[i]) > tolerance)
            return ::testing::AssertionFailure() << "frame " << at + i / 2 << ": " << got[at * 2 + i] << ", want "
                                                 << want[i];
    return ::testing::AssertionSuccess();
}

}

// Each link sounds as the file of that link alone renders, one after the other with nothing lost
// or repeated at the seams, and so does a seek into the last one. A link on the direct path is
// the same bytes. A converted link starts from a fresh converter and its tail is given out before
// the next link, as in the file of it alone; the two differ only in how the converter's work is
// cut into calls, which moves a sample by one step at most (the bound Convert's tests hold libsoxr
// to), so that is asserted rather than a looser likeness. A link that cannot be rendered ends the
// piece where it begins; so does one with damaged headers, which the decoder refuses with the
// whole file (it is cut off with what follows), and, where the source cannot seek, the second.
TEST(Chain, EachLinkSoundsAsItsOwnFileAndTheTimesRunOn)
{
    struct Case {
        const char* name;
        std::vector<Link> links;
        bool seekable = true;
    };
    const Case cases[] = {
        {"44.1k then 22.05k", {{2, 44100, 2.0}, {2, 22050, 2.0}}},
        {"22.05k then 44.1k", {{2, 22050, 1.4}, {2, 44100, 1.5}}},
        {"stereo then mono", {{2, 44100, 1.5}, {1, 44100, 1.2}}},
        {"44.1k, 48k, six channels at 48k", {{2, 44100, 1.3}, {2, 48000, 1.6}, {6, 48000, 1.1}}},
        {"two links at 44.1k", {{2, 44100, 1.2}, {2, 44100, 1.3}}},
        {"mono then stereo at 32k", {{1, 32000, 1.0}, {2, 32000, 1.25}}},
        {"nine channels end the piece", {{2, 44100, 1.2}, {9, 44100, 0.5}, {2, 44100, 1.0}}},
        {"damaged headers end the piece", {{2, 44100, 1.2}, {2, 22050, 1.0}, {2, 44100, 1.0, true}, {1, 44100, 0.5}}},
        {"a source that cannot seek", {{2, 44100, 1.5}, {1, 22050, 1.0}}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> file;
        std::vector<std::vector<uint8_t>> heard;  // the links before the one that ends the piece
        std::vector<double> starts{0.0};          // of each link the decoder is shown, and its end
        double firstRateFrames = 0.0;
        bool damaged = false;
        for (size_t i = 0; i < c.links.size(); ++i) {
            const Link& l = c.links[i];
            const auto bytes = EncodeLink(l, static_cast<int>(i));
            file.insert(file.end(), bytes.begin(), bytes.end());
            damaged = damaged || l.damaged;
            if (l.channels <= 8 && !damaged && (c.seekable || i == 0) && heard.size() == i)
                heard.push_back(bytes);
            if (damaged)
                continue;
            const auto frames = static_cast<double>(fixture::ReferenceDecode(bytes).Frames());
            starts.push_back(starts.back() + frames / l.rate);
            firstRateFrames += frames * c.links[0].rate / l.rate;
        }
        TOggData d(OutputFormat::StreamBufferBytes);
        const wu_ov_callbacks normal = _VorbisfileDll->Callbacks;
        if (!c.seekable)
            _VorbisfileDll->Callbacks.seek_func = [](void*, int64_t, int) { return -1; };
        const bool loaded = d.LoadOgg(fixture::WriteTemp(file, "chain.ogg"));
        _VorbisfileDll->Callbacks = normal;
        ASSERT_TRUE(loaded);
        EXPECT_EQ(d.Rate, c.links[0].rate);
        // The length is unknown where the source cannot seek; in frames of the first link's rate.
        EXPECT_NEAR(d.TotalTime, c.seekable ? starts.back() : 0.0, 1e-4);
        EXPECT_EQ(d.PcmBytes, c.seekable ? std::llround(firstRateFrames) * 4 : 0);

        const Played p = PlayOut(d, 12);
        EXPECT_TRUE(p.stopped);
        size_t at = 0;
        for (size_t i = 0; i < heard.size(); ++i) {
            const auto alone = Alone(heard[i]);
            EXPECT_TRUE(Holds(p.samples, at, alone, c.links[i].rate == OutputFormat::Rate ? 0 : 1)) << "link " << i;
            at += alone.size() / 2;
        }
        EXPECT_EQ(p.frames, static_cast<int64_t>(at));
        // The time runs on across the seams: after each whole block of sound, a second more.
        for (size_t b = 0; b + 1 < p.tells.size() && static_cast<double>(b + 1) < starts[heard.size()]; ++b)
            EXPECT_NEAR(p.tells[b], static_cast<double>(b + 1), 2e-3) << "block " << b;

        // A seek half a second into the last link heard lands there, on its path.
        const size_t last = heard.size() - 1;
        if (!c.seekable || last == 0)
            continue;
        d.TimeSeek(static_cast<float>(starts[last] + 0.5));
        EXPECT_NEAR(d.TimeTell(), starts[last] + 0.5, 1e-4);
        auto alone = Alone(heard[last], 0.5f);
        alone.resize(std::min<size_t>(alone.size(), kBlock / 2));
        const Played s = PlayOut(d, 1);
        EXPECT_TRUE(Holds(s.samples, 0, alone, c.links[last].rate == OutputFormat::Rate ? 0 : 1));
    }
}

// A loop back to 1.0 s (in the first link, 44100 Hz) from an end in the second link (22050 Hz) or
// at the seam, then the whole-file repeat back into the first link: every jump into another link
// changes the path, and the old link's converter gives out its tail before the new link is heard.
TEST(Chain, LoopJumpsAndTheRepeatCrossLinks)
{
    struct Case {
        const char* name;
        double first;  // seconds of the first link
        float end;
    };
    const Case cases[] = {
        {"end a second into the second link", 2.0, 3.0f},
        // The block that meets the end begins on the first link's direct path, and the end is
        // only reached on the second link's converted one.
        {"end reached after a seam within the block", 1.5, 1.8f},
        {"end at the seam", 1.5, 1.5f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto a = EncodeLink({2, 44100, c.first}, 0);
        const auto b = EncodeLink({2, 22050, 2.0}, 1);
        auto file = fixture::ContainerHeader({{1.0f, c.end, 1}});
        file.insert(file.end(), a.begin(), a.end());
        file.insert(file.end(), b.begin(), b.end());
        TOggData d(OutputFormat::StreamBufferBytes);
        ASSERT_TRUE(d.LoadOgg(fixture::WriteTemp(file, "loop.qv")));
        const Played p = PlayOut(d, 8, true);
        EXPECT_FALSE(p.stopped);

        // The first link whole, the second up to the end, the first again from frame 44100, the
        // second whole, then the first from the restart point (0.001 s: frame 44).
        const auto soundA = Alone(a);
        const int64_t endInB = std::llround((static_cast<double>(c.end) - c.first) * 22050);
        const std::vector<int16_t> parts[] = {
            soundA,
            endInB > 0 ? Converted(fixture::ReferenceDecode(b), 0, endInB) : std::vector<int16_t>{},
            std::vector<int16_t>(soundA.begin() + 2 * 44100, soundA.end()),
            Alone(b),
            std::vector<int16_t>(soundA.begin() + 2 * 44, soundA.begin() + 2 * 44100)};
        size_t at = 0;
        for (size_t i = 0; i < std::size(parts); ++i) {
            EXPECT_TRUE(Holds(p.samples, at, parts[i], i % 2)) << "part " << i;
            at += parts[i].size() / 2;
        }
        // Rearmed after the second pass went past its end.
        EXPECT_EQ(d.GetLoopCount(0), 0);
    }
}
