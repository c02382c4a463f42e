// A stream followed by zeros or garbage (a preallocated or partly downloaded file): the decoder is
// given the stream up to the end of its last intact page, and what is rendered and told is the
// same as for the file without the padding.
#include "OggDataLib.h"
#include "OggFixture.h"
#include "OggWuvorbisLib.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

constexpr int32_t kRing = OutputFormat::StreamBufferBytes;

class Padding : public ::testing::Test {
protected:
    static void SetUpTestSuite() { _VorbisfileInitialize(fixture::BinDir() + "/wuvorbis.dll"); }

    static const std::vector<uint8_t>& Piece()
    {
        static const std::vector<uint8_t> bytes =
            fixture::Encode(fixture::Sine(3.0, {330.0, 550.0}), {"TITLE=padded"}, 0.2f);
        return bytes;
    }

    static std::string WithTail(const std::vector<uint8_t>& tail, const std::string& name)
    {
        std::vector<uint8_t> bytes = Piece();
        bytes.insert(bytes.end(), tail.begin(), tail.end());
        return fixture::WriteTemp(bytes, name);
    }

    static std::vector<uint8_t> Garbage(size_t n)
    {
        std::mt19937 rng(7);
        std::vector<uint8_t> bytes(n);
        for (auto& b : bytes)
            b = static_cast<uint8_t>(rng());
        return bytes;
    }

    // Everything the data renders from the start, a seek to 1.25 s, and what follows it.
    static std::vector<uint8_t> Render(TOggData& data)
    {
        std::vector<uint8_t> out;
        std::vector<uint8_t> block(kRing / 2);
        data.Play(false);
        for (int i = 0; i < 2; ++i) {
            data.RenderingToPointer(block.data(), static_cast<int32_t>(block.size()));
            out.insert(out.end(), block.begin(), block.end());
        }
        data.TimeSeek(1.25f);
        data.Play(false);
        for (int i = 0; i < 3; ++i) {
            std::fill(block.begin(), block.end(), 0);
            data.RenderingToPointer(block.data(), static_cast<int32_t>(block.size()));
            out.insert(out.end(), block.begin(), block.end());
        }
        return out;
    }
};

TEST_F(Padding, ZerosOrGarbageBehindTheStreamChangeNothingThatIsPlayed)
{
    TOggData plain(kRing);
    ASSERT_TRUE(plain.LoadOgg(fixture::WriteTemp(Piece(), "plain.ogg")));
    const std::vector<uint8_t> expected = Render(plain);

    std::vector<uint8_t> garbage = Garbage(3 << 20);
    // A capture pattern in the garbage that starts no intact page.
    std::copy_n("OggS", 4, garbage.end() - 100);
    for (const auto& [tail, name] : {std::pair{std::vector<uint8_t>(4 << 20, 0), "zeros.ogg"},
                                     std::pair{garbage, "garbage.ogg"}}) {
        TOggData data(kRing);
        ASSERT_TRUE(data.LoadOgg(WithTail(tail, name))) << name;
        EXPECT_EQ(data.FileData->Size(), static_cast<int64_t>(Piece().size())) << name;
        EXPECT_EQ(data.TotalTime, plain.TotalTime) << name;
        EXPECT_EQ(data.PcmBytes, plain.PcmBytes) << name;
        EXPECT_EQ(data.CommentList->Lines(), plain.CommentList->Lines()) << name;
        EXPECT_TRUE(Render(data) == expected) << name;
    }
}

TEST_F(Padding, APageFarBehindTheGapIsKeptAndAPartPageIsLeftOut)
{
    // The stream's own first page again, 1 MB behind the end: the decoder is shown it too.
    std::vector<uint8_t> tail(1 << 20, 0);
    const size_t firstPage = 27 + Piece()[26] + Piece()[27];
    tail.insert(tail.end(), Piece().begin(), Piece().begin() + static_cast<long>(firstPage));
    tail.resize(tail.size() + 5000, 0);
    TOggData far(kRing);
    ASSERT_TRUE(far.LoadOgg(WithTail(tail, "far.ogg")));
    EXPECT_EQ(far.FileData->Size(), static_cast<int64_t>(Piece().size() + tail.size() - 5000));

    // A file cut inside its last page ends where its last whole page does.
    std::vector<uint8_t> cut(Piece().begin(), Piece().end() - 10);
    TOggData partial(kRing);
    ASSERT_TRUE(partial.LoadOgg(fixture::WriteTemp(cut, "partial.ogg")));
    EXPECT_LT(partial.FileData->Size(), static_cast<int64_t>(cut.size()));
    EXPECT_GT(partial.TotalTime, 2.0f);

    // A container keeps its header in front of the stream.
    std::vector<uint8_t> qv = fixture::ContainerHeader({{0.5f, 2.0f, 1}});
    qv.insert(qv.end(), Piece().begin(), Piece().end());
    qv.resize(qv.size() + (1 << 20), 0);
    TOggData looped(kRing);
    ASSERT_TRUE(looped.LoadOgg(fixture::WriteTemp(qv, "padded.qv")));
    EXPECT_EQ(looped.DataStart, 200);
    EXPECT_EQ(looped.FileData->Size(), static_cast<int64_t>(200 + Piece().size()));
    EXPECT_EQ(looped.Loops[0].LoopEnd, 2.0f);
}

TEST_F(Padding, NothingButGarbageIsStillRefused)
{
    TOggData data(kRing);
    EXPECT_THROW(data.LoadOgg(fixture::WriteTemp(Garbage(1 << 20), "noise.ogg")), std::exception);
    EXPECT_FALSE(data.Loaded.load());
}

}
