// TOggData: construction, loading by name and by stream, stream information and comments.
#include "ERangeError.h"
#include "EFileError.h"
#include "OggDataLib.h"
#include "OggFixture.h"
#include "OggWuvorbisLib.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int32_t kRing = OutputFormat::StreamBufferBytes;

class Loading : public ::testing::Test {
protected:
    static void SetUpTestSuite() { _VorbisfileInitialize(fixture::BinDir() + "/wuvorbis.dll"); }
    static void TearDownTestSuite() { _VorbisfileFinalize(); }
    void SetUp() override { ASSERT_NE(_VorbisfileDll, nullptr); }

    static std::string Stereo()
    {
        static std::string path = fixture::WriteTemp(
            fixture::Encode(fixture::Sine(2.0), {"TITLE=first", "ARTIST=a"}), "stereo.ogg");
        return path;
    }

    static std::unique_ptr<TMemoryStream> StreamOf(const std::vector<uint8_t>& bytes)
    {
        auto s = std::make_unique<TMemoryStream>();
        s->Write(bytes.data(), bytes.size());
        s->SetPosition(0);
        return s;
    }

    static std::vector<std::string> Lines(const TStringList& l) { return l.Lines(); }

    // Asserts the object holds nothing (the state after construction and after Init).
    static void ExpectEmpty(TOggData& d)
    {
        EXPECT_FALSE(d.Loaded);
        EXPECT_EQ(d.FileData, nullptr);
        EXPECT_FALSE(d.SeekAble());
        EXPECT_EQ(d.CommentList->Count(), 0);
        EXPECT_EQ(d.Vendor, "");
        EXPECT_EQ(d.Channels, 0);
        EXPECT_EQ(d.Rate, 0);
        EXPECT_EQ(d.TotalTime, 0.0f);
        EXPECT_EQ(d.PcmBytes, 0);
        EXPECT_EQ(d.TimeTell(), 0.0f);
    }
};

TEST_F(Loading, ConstructionGivesAnEmptyObjectWithUsableBuffers)
{
    TOggData d(kRing);
    ExpectEmpty(d);
    EXPECT_EQ(d.GetPlayState(), psNONE);
    ASSERT_NE(d.Memory(), nullptr);
    EXPECT_EQ(d.Offset(), d.Memory() + d.RenderOffset);
    std::memset(d.Memory(), 0x5A, kRing);  // the whole buffer is ours to write
    EXPECT_EQ(d.MemorySize(), kRing);
    EXPECT_EQ(d.GetNowVolume(), 1.0f);
    EXPECT_EQ(d.GetSetVolume(), 1.0f);
    EXPECT_EQ(d.GetVolumeStep(), 0);
    EXPECT_EQ(d.GetMasterVolume(), 1.0f);
    EXPECT_EQ(d.GetChannelVolume(), 1.0f);
    EXPECT_FLOAT_EQ(d.GetNowEQ(0), 1.0f);
    EXPECT_FLOAT_EQ(d.GetNowEQ(255), 1.0f);
    for (const auto& l : d.Loops)
        EXPECT_TRUE(l.LoopStart == 0 && l.LoopEnd == 0 && l.RepeatCount == 0);
    EXPECT_EQ(d.DataStart, 0);
}

TEST_F(Loading, StereoFileGivesItsInformation)
{
    auto ref = fixture::ReferenceDecode(Stereo());
    TOggData d(kRing);
    ASSERT_TRUE(d.LoadOgg(Stereo()));
    EXPECT_TRUE(d.Loaded);
    EXPECT_TRUE(d.SeekAble());
    EXPECT_EQ(d.GetPlayState(), psSTOP);
    EXPECT_EQ(d.Channels, 2);
    EXPECT_EQ(d.Rate, 44100);
    EXPECT_EQ(d.PcmBytes, ref.Frames() * 4);
    EXPECT_FLOAT_EQ(d.TotalTime, static_cast<float>(static_cast<double>(ref.Frames()) / 44100.0));
    EXPECT_EQ(d.DataStart, 0);
    EXPECT_EQ(d.FileData->Size(), static_cast<int64_t>(fixture::ReadFile(Stereo()).size()));
    EXPECT_NE(d.Vendor.find("Xiph.Org libVorbis"), std::string::npos) << d.Vendor;
    EXPECT_EQ(Lines(*d.CommentList), (std::vector<std::string>{"TITLE=first", "ARTIST=a"}));
}

TEST_F(Loading, MonoCountsFourBytesPerSampleAndOtherRatesStillLoad)
{
    auto mono = fixture::WriteTemp(fixture::Encode(fixture::Sine(1.5, {440.0}, 1)), "mono.ogg");
    TOggData d(kRing);
    ASSERT_TRUE(d.LoadOgg(mono));
    EXPECT_EQ(d.Channels, 1);
    EXPECT_EQ(d.Rate, 44100);
    EXPECT_EQ(d.PcmBytes, fixture::ReferenceDecode(mono).Frames() * 4);

    auto other = fixture::WriteTemp(fixture::Encode(fixture::Sine(1.0, {440.0}, 2, 48000)), "48k.ogg");
    ASSERT_TRUE(d.LoadOgg(other));
    EXPECT_EQ(d.Rate, 48000);
    EXPECT_EQ(d.PcmBytes, 48000 * 4);
}

TEST_F(Loading, CommentsKeepTheirBytesAndOrder)
{
    std::vector<std::string> comments{"TITLE=日本語のタイトル", "title=lower", "Title=a=b=c", "COMMENT=", "X=\xE2\x99\xAA\r\nline"};
    auto path = fixture::WriteTemp(fixture::Encode(fixture::Sine(0.5), comments), "comments.ogg");
    TOggData d(kRing);
    ASSERT_TRUE(d.LoadOgg(path));
    EXPECT_EQ(Lines(*d.CommentList), comments);
    EXPECT_EQ(d.CommentList->Values("TITLE"), "日本語のタイトル");

    // No comments: an empty list, the vendor still set.
    auto bare = fixture::WriteTemp(fixture::Encode(fixture::Sine(0.5)), "bare.ogg");
    ASSERT_TRUE(d.LoadOgg(bare));
    EXPECT_EQ(d.CommentList->Count(), 0);
    EXPECT_FALSE(d.Vendor.empty());
}

TEST_F(Loading, MissingNameOrNullStreamKeepsTheOpenFile)
{
    TOggData d(kRing);
    ASSERT_TRUE(d.LoadOgg(Stereo()));
    TMemoryStream* before = d.FileData;
    EXPECT_FALSE(d.LoadOgg(fixture::TempDir() + "/does-not-exist.ogg"));
    EXPECT_THROW(d.LoadOgg(fixture::TempDir()), EFileError);  // a folder is named as such
    EXPECT_FALSE(d.LoadOgg(std::string()));
    EXPECT_FALSE(d.LoadOgg(static_cast<TMemoryStream*>(nullptr)));
    EXPECT_TRUE(d.Loaded);
    EXPECT_EQ(d.FileData, before);
    EXPECT_EQ(d.CommentList->Count(), 2);
    EXPECT_TRUE(d.SeekAble());
}

TEST_F(Loading, UnreadableFileRaisesAndKeepsTheOpenFile)
{
    auto path = fixture::WriteTemp({'x'}, "unreadable.ogg");
    std::filesystem::permissions(path, std::filesystem::perms::none);
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        std::fclose(f);
        GTEST_SKIP() << "running with rights that read any file";
    }
    TOggData d(kRing);
    ASSERT_TRUE(d.LoadOgg(Stereo()));
    EXPECT_THROW(d.LoadOgg(path), EFileError);
    EXPECT_TRUE(d.Loaded);
    EXPECT_EQ(d.Channels, 2);
}

TEST_F(Loading, TextFileRaisesAndLeavesTheObjectEmpty)
{
    auto text = fixture::WriteTemp(std::vector<uint8_t>(3000, 'a'), "text.ogg");
    TOggData d(kRing);
    ASSERT_TRUE(d.LoadOgg(Stereo()));
    d.Play(false);
    try {
        d.LoadOgg(text);
        FAIL() << "no error raised";
    } catch (const ERangeError& e) {
        EXPECT_EQ(e.Message(), "ファイルの読み込みに失敗");
    }
    ExpectEmpty(d);
    EXPECT_EQ(d.GetPlayState(), psNONE);
    // Empty files and truncated Ogg data fail the same way.
    auto ogg = fixture::Encode(fixture::Sine(1.0));
    EXPECT_THROW(d.LoadOgg(StreamOf({}).release()), ERangeError);
    EXPECT_THROW(d.LoadOgg(StreamOf(std::vector<uint8_t>(ogg.begin(), ogg.begin() + 100)).release()), ERangeError);
    ExpectEmpty(d);
    // And the object is still good for a real file afterwards.
    EXPECT_TRUE(d.LoadOgg(Stereo()));
}

TEST_F(Loading, SecondFileReplacesTheFirstCompletely)
{
    auto second = fixture::WriteTemp(fixture::Encode(fixture::Sine(1.0, {440.0}, 1), {"TITLE=second"}), "second.ogg");
    TOggData d(kRing);
    ASSERT_TRUE(d.LoadOgg(Stereo()));
    d.Play(true);
    ASSERT_TRUE(d.LoadOgg(second));
    EXPECT_EQ(Lines(*d.CommentList), std::vector<std::string>{"TITLE=second"});
    EXPECT_EQ(d.Channels, 1);
    EXPECT_EQ(d.GetPlayState(), psSTOP) << "loading stops playback";
}

TEST_F(Loading, StreamLoadTakesTheStreamFromItsPosition)
{
    // Loading from a stream starts where the stream stands; DataStart records it.
    auto ogg = fixture::Encode(fixture::Sine(1.0));
    std::vector<uint8_t> bytes(37, 0);
    bytes.insert(bytes.end(), ogg.begin(), ogg.end());
    auto s = StreamOf(bytes);
    s->SetPosition(37);
    TOggData d(kRing);
    ASSERT_TRUE(d.LoadOgg(s.release()));
    EXPECT_EQ(d.DataStart, 37);
    EXPECT_EQ(d.PcmBytes, 44100 * 4);
}

TEST_F(Loading, InitAndDestructionCloseTheDecoder)
{
    // A sanitizer build checks that the stream and the decoder's memory are released exactly once.
    auto d = std::make_unique<TOggData>(kRing);
    ASSERT_TRUE(d->LoadOgg(Stereo()));
    d->Init();
    ExpectEmpty(*d);
    d->Init();  // twice is harmless
    ASSERT_TRUE(d->LoadOgg(Stereo()));
    d.reset();  // destroyed while loaded
}

TEST_F(Loading, LPPCharToStringListAppendsUntilTheFirstNull)
{
    TStringList list;
    list.Add("kept");
    char a[] = "A=1";
    char b[] = "B=\xE3\x81\x82";
    char c[] = "never";
    char* arr[] = {a, b, nullptr, c};
    TOggData::LPPCharToStringList(list, arr);
    EXPECT_EQ(list.Lines(), (std::vector<std::string>{"kept", "A=1", "B=\xE3\x81\x82"}));
    TOggData::LPPCharToStringList(list, nullptr);
    EXPECT_EQ(list.Count(), 3);
}

// Without the decoder library a load fails cleanly: false, nothing taken, nothing changed.
TEST(LoadingWithoutLibrary, ReturnsFalseAndKeepsTheStream)
{
    _VorbisfileFinalize();
    ASSERT_EQ(_VorbisfileDll, nullptr);
    auto path = fixture::WriteTemp(fixture::Encode(fixture::Sine(0.5)), "nolib.ogg");
    TOggData d(kRing);
    EXPECT_FALSE(d.LoadOgg(path));
    auto s = std::make_unique<TMemoryStream>();
    s->LoadFromFile(path);
    EXPECT_FALSE(d.LoadOgg(s.get()));
    EXPECT_EQ(s->Position(), 0);  // still the caller's, untouched
    EXPECT_FALSE(d.Loaded);
    EXPECT_FALSE(d.SeekAble());
}

}
