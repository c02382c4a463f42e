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
constexpr int32_t kRing = OutputFormat::StreamBufferBytes;
constexpr int64_t kOutRate = OutputFormat::Rate;

class Library : public ::testing::Environment {
public:
    void SetUp() override { _VorbisfileInitialize(fixture::BinDir() + "/wuvorbis.dll"); }
    void TearDown() override { _VorbisfileFinalize(); }
};
const auto* const kLibrary = ::testing::AddGlobalTestEnvironment(new Library);

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
        // The second page holds the comment and setup headers; the setup's codebooks follow the
        // short comment header, well inside the page.
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

std::vector<uint8_t> Chain(const std::vector<std::vector<uint8_t>>& links, std::vector<uint8_t> front = {})
{
    for (const auto& l : links)
        front.insert(front.end(), l.begin(), l.end());
    return front;
}

struct Played {
    std::vector<int16_t> samples;  // stereo, 44100 Hz, whole blocks
    int64_t frames = 0;            // what the blocks reported as sound
    bool stopped = false;
    std::vector<float> tells;  // TimeTell after each block
    std::vector<std::vector<TOggData::TTimeMark>> marks;
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
        p.marks.push_back(d.BlockMarks());
    }
    return p;
}

// The sound of a file holding only these bytes, as the engine renders it.
std::vector<int16_t> Alone(const std::vector<uint8_t>& bytes, bool* renderable = nullptr)
{
    TOggData d(kRing);
    EXPECT_TRUE(d.LoadOgg(fixture::WriteTemp(bytes, "alone.ogg")));
    if (renderable)
        *renderable = d.Renderable();
    Played p = PlayOut(d, 30);
    EXPECT_TRUE(p.stopped);
    p.samples.resize(static_cast<size_t>(p.frames) * 2);
    return p.samples;
}

// Frames [from, to) of a decode at `rate`, converted in one piece from a fresh converter to its
// end, as the engine gives them out with full volumes (254/256 of each sample, truncated).
std::vector<int16_t> Converted(const fixture::Decoded& ref, int64_t from, int64_t to)
{
    TRateConverter c(static_cast<double>(ref.rate));
    const auto frames = static_cast<size_t>(to - from);
    std::vector<int16_t> out((frames * kOutRate / static_cast<size_t>(ref.rate) + 64) * 2);
    size_t used = 0;
    size_t done = c.Process(ref.samples.data() + from * 2, frames, used, out.data(), out.size() / 2);
    for (size_t f = 1; f > 0; done += f)
        f = c.Flush(out.data() + done * 2, out.size() / 2 - done);
    out.resize(done * 2);
    for (auto& s : out)
        s = static_cast<int16_t>(s * 254 / 256);
    return out;
}

// Frames [from, to) of a 44100 Hz decode as the direct path gives them out.
std::vector<int16_t> Direct(const fixture::Decoded& ref, int64_t from, int64_t to)
{
    std::vector<int16_t> out(ref.samples.begin() + from * 2, ref.samples.begin() + to * 2);
    for (auto& s : out)
        s = static_cast<int16_t>(s * 254 / 256);
    return out;
}

// The largest difference between want and the samples of got from frame `at` on (-1 when got is
// too short to hold them).
int MaxDifference(const std::vector<int16_t>& got, size_t at, const std::vector<int16_t>& want)
{
    if (got.size() < at * 2 + want.size())
        return -1;
    int worst = 0;
    for (size_t i = 0; i < want.size(); ++i)
        worst = std::max(worst, std::abs(got[at * 2 + i] - want[i]));
    return worst;
}

}

// Each link sounds as the file of that link alone renders, one after the other with nothing lost
// or repeated at the seams. A link on the direct path is the same bytes. A converted link starts
// from a fresh converter and its tail is given out before the next link, just as in the file of
// it alone; the two differ only in how the converter's work is cut into calls, which moves a
// sample by one step at most (the bound Convert's tests hold libsoxr to). A link that cannot be
// rendered ends the piece where it begins; one whose headers are damaged, which the decoder
// refuses with the whole file, is cut off with the links after it, so the piece ends there too.
TEST(Chain, EachLinkSoundsAsItsOwnFileAndTheTimesRunOn)
{
    struct Case {
        const char* name;
        std::vector<Link> links;
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
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::vector<uint8_t>> links;
        std::vector<double> lengths;
        double seconds = 0.0, firstRateFrames = 0.0;
        for (size_t i = 0; i < c.links.size(); ++i) {
            links.push_back(EncodeLink(c.links[i], static_cast<int>(i)));
            if (c.links[i].damaged)
                break;
            const auto frames = static_cast<double>(fixture::ReferenceDecode(links.back()).Frames());
            lengths.push_back(frames / c.links[i].rate);
            seconds += lengths.back();
            firstRateFrames += frames * c.links[0].rate / c.links[i].rate;
        }
        std::vector<uint8_t> file = Chain(links);
        for (size_t i = links.size(); i < c.links.size(); ++i)
            file = Chain({EncodeLink(c.links[i], static_cast<int>(i))}, file);
        if (links.size() < c.links.size())
            links.pop_back();  // the damaged one: neither it nor what follows is heard
        TOggData d(kRing);
        ASSERT_TRUE(d.LoadOgg(fixture::WriteTemp(file, "chain.ogg")));
        EXPECT_EQ(d.Rate, c.links[0].rate);
        EXPECT_NEAR(d.TotalTime, seconds, 1e-4);
        // The piece's length in frames of the first link's rate: what callers divide it by.
        EXPECT_EQ(d.PcmBytes, std::llround(firstRateFrames) * 4);

        const Played p = PlayOut(d, 12);
        EXPECT_TRUE(p.stopped);
        size_t at = 0;
        double heard = 0.0;
        for (size_t i = 0; i < links.size(); ++i) {
            SCOPED_TRACE("link " + std::to_string(i));
            bool renderable = false;
            const auto alone = Alone(links[i], &renderable);
            EXPECT_LE(MaxDifference(p.samples, at, alone), c.links[i].rate == kOutRate ? 0 : 1);
            EXPECT_GE(MaxDifference(p.samples, at, alone), 0);
            at += alone.size() / 2;
            if (!renderable)
                break;
            heard += lengths[i];
        }
        EXPECT_EQ(p.frames, static_cast<int64_t>(at));
        EXPECT_NEAR(static_cast<double>(p.frames), heard * kOutRate, 2.0);
        // The decoder's time runs on across the seams: after each whole block of the piece, a
        // second more (the converter's delay is reckoned in).
        for (size_t b = 0; b + 1 < p.tells.size() && static_cast<double>(b + 1) < heard; ++b)
            EXPECT_NEAR(p.tells[b], static_cast<double>(b + 1), 2e-3) << "block " << b;
    }
}

TEST(Chain, SeeksLandInTheirLinkOnItsPath)
{
    const auto a = EncodeLink({2, 44100, 2.0}, 0);
    const auto b = EncodeLink({2, 22050, 2.0}, 1);
    const auto refA = fixture::ReferenceDecode(a);
    const auto refB = fixture::ReferenceDecode(b);
    TOggData d(kRing);
    ASSERT_TRUE(d.LoadOgg(fixture::WriteTemp(Chain({a, b}), "seek-chain.ogg")));
    std::vector<int16_t> out(kBlock / 2);

    // Into the second link: its frame 11025 (0.5 s) on, converted from a fresh start.
    d.TimeSeek(2.5f);
    EXPECT_FLOAT_EQ(d.TimeTell(), 2.5f);
    d.Play(false);
    ASSERT_EQ(d.RenderingToPointer(out.data(), kBlock), kBlock);
    auto want = Converted(refB, 11025, refB.Frames());
    want.resize(kBlock / 2);
    EXPECT_LE(MaxDifference(out, 0, want), 1);
    EXPECT_NEAR(d.TimeTell(), 3.5f, 2e-3);

    // Back into the first: the direct path again, exactly.
    d.TimeSeek(0.5f);
    ASSERT_EQ(d.RenderingToPointer(out.data(), kBlock), kBlock);
    EXPECT_EQ(MaxDifference(out, 0, Direct(refA, 22050, 66150)), 0);
    EXPECT_FLOAT_EQ(d.TimeTell(), 1.5f);

    // Onto the piece's end: the last link's last frame, and the piece ends there.
    d.TimeSeek(d.TotalTime);
    EXPECT_LT(d.RenderingToPointer(out.data(), kBlock), 64);
    EXPECT_EQ(d.GetPlayState(), psSTOP);
}

// A source that cannot seek: the decoder knows only the link it is in, so the next one cannot be
// told apart from it (nor its length known), and the piece ends where the first link does.
TEST(Chain, AStreamThatCannotSeekEndsWithItsFirstLink)
{
    const auto a = EncodeLink({2, 44100, 1.5}, 0);
    const auto b = EncodeLink({1, 22050, 1.0}, 1);
    TOggData d(kRing);
    const wu_ov_callbacks normal = _VorbisfileDll->Callbacks;
    _VorbisfileDll->Callbacks.seek_func = [](void*, int64_t, int) { return -1; };
    const bool loaded = d.LoadOgg(fixture::WriteTemp(Chain({a, b}), "unseekable.ogg"));
    _VorbisfileDll->Callbacks = normal;
    ASSERT_TRUE(loaded);
    EXPECT_FALSE(d.SeekAble());
    const Played p = PlayOut(d, 5, true);
    EXPECT_TRUE(p.stopped);
    const auto refA = fixture::ReferenceDecode(a);
    EXPECT_EQ(p.frames, refA.Frames());
    EXPECT_EQ(MaxDifference(p.samples, 0, Direct(refA, 0, refA.Frames())), 0);
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
        const auto refA = fixture::ReferenceDecode(a);
        const auto refB = fixture::ReferenceDecode(b);
        TOggData d(kRing);
        ASSERT_TRUE(d.LoadOgg(fixture::WriteTemp(Chain({a, b}, fixture::ContainerHeader({{1.0f, c.end, 1}})), "loop.qv")));
        const Played p = PlayOut(d, 8, true);
        EXPECT_FALSE(p.stopped);

        // The first link whole, the second up to the end, the first again from frame 44100, the
        // second whole, then the first from the restart point (0.001 s: frame 44).
        const int64_t endInB = std::llround((static_cast<double>(c.end) - c.first) * 22050);
        struct Part {
            std::vector<int16_t> sound;
            int tolerance;
        };
        const Part parts[] = {{Direct(refA, 0, refA.Frames()), 0},
                              {endInB > 0 ? Converted(refB, 0, endInB) : std::vector<int16_t>{}, 1},
                              {Direct(refA, 44100, refA.Frames()), 0},
                              {Converted(refB, 0, refB.Frames()), 1},
                              {Direct(refA, 44, 44100), 0}};
        size_t at = 0;
        for (size_t i = 0; i < std::size(parts); ++i) {
            EXPECT_LE(MaxDifference(p.samples, at, parts[i].sound), parts[i].tolerance) << "part " << i;
            EXPECT_GE(MaxDifference(p.samples, at, parts[i].sound), 0) << "part " << i;
            at += parts[i].sound.size() / 2;
        }
        // The jump is marked, or a block begins right at it: from there the piece is at 1.0 s.
        bool marked = false;
        for (const auto& marks : p.marks)
            for (const auto& m : marks)
                marked = marked || std::fabs(m.Time - 1.0f) < 1e-3f;
        EXPECT_TRUE(marked);
        // Rearmed after the second pass went past its end.
        EXPECT_EQ(d.GetLoopCount(0), 0);
    }
}
