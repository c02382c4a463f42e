// The decoder library wuvorbis.dll, driven through the binding: exact decoding, the container's
// offset start, the output scale and the export list.
#include "OggFixture.h"
#include "OggWuvorbisLib.h"
#include "TMemoryStream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

std::string DllPath() { return fixture::BinDir() + "/wuvorbis.dll"; }

class DecoderLibrary : public ::testing::Test {
protected:
    void SetUp() override
    {
        _VorbisfileInitialize(DllPath());
        ASSERT_NE(_VorbisfileDll, nullptr);
    }
    void TearDown() override
    {
        if (open_)
            lib()->wu_ov_clear(&vf_);
        _VorbisfileFinalize();
    }
    TVorbisFileDLL* lib() { return _VorbisfileDll; }

    // Opens the decoder on bytes standing at `at` in a memory stream (the stream passes to the decoder).
    int Open(const std::vector<uint8_t>& bytes, int64_t at = 0)
    {
        auto stream = std::make_unique<TMemoryStream>();
        stream->Write(bytes.data(), bytes.size());
        stream->SetPosition(at);
        std::memset(&vf_, 0, sizeof vf_);
        int r = lib()->wu_ov_open_callbacks(stream.get(), &vf_, nullptr, 0);
        if (r >= 0) {
            stream.release();
            open_ = true;
        }
        return r;
    }

    std::vector<int16_t> ReadAll(int chunk = 4096)
    {
        std::vector<int16_t> out;
        std::vector<char> buf(static_cast<size_t>(chunk));
        int32_t bs = 0;
        for (;;) {
            int32_t n = lib()->wu_ov_read(&vf_, buf.data(), chunk, 0, 2, 1, &bs);
            if (n <= 0) {
                EXPECT_EQ(n, 0) << "decoder error";
                break;
            }
            size_t old = out.size();
            out.resize(old + static_cast<size_t>(n) / 2);
            std::memcpy(out.data() + old, buf.data(), static_cast<size_t>(n));
        }
        return out;
    }

    wu_OggVorbis_File vf_{};
    bool open_ = false;
};

TEST_F(DecoderLibrary, DecodesExactlyWhatLibvorbisfileGives)
{
    for (int channels : {2, 1}) {
        auto ogg = fixture::Encode(fixture::Noise(3.3, channels), {"TITLE=x"});
        auto ref = fixture::ReferenceDecode(ogg);
        ASSERT_GE(Open(ogg), 0);
        wu_vorbis_info* vi = lib()->wu_ov_info(&vf_, -1);
        ASSERT_NE(vi, nullptr);
        EXPECT_EQ(vi->channels, channels);
        EXPECT_EQ(vi->rate, 44100);
        EXPECT_EQ(lib()->wu_ov_pcm_total(&vf_, -1), ref.Frames());
        EXPECT_DOUBLE_EQ(lib()->wu_ov_time_total(&vf_, -1), static_cast<double>(ref.Frames()) / 44100.0);
        EXPECT_NE(lib()->wu_ov_seekable(&vf_), 0);
        // An odd chunk size exercises partial reads.
        EXPECT_EQ(ReadAll(3002), ref.samples) << channels << " channels";
        lib()->wu_ov_clear(&vf_);
        open_ = false;
    }
}

// A container opens the decoder on the whole file image at byte 200: totals, decoding and seeks
// must be those of the plain stream.
TEST_F(DecoderLibrary, StreamBehindAContainerHeaderDecodesAndSeeksExactly)
{
    auto ogg = fixture::Encode(fixture::Noise(12.0), {}, 0.1f);
    auto ref = fixture::ReferenceDecode(ogg);
    auto file = fixture::ContainerHeader({{1.0f, 5.0f, -1}});
    file.insert(file.end(), ogg.begin(), ogg.end());

    ASSERT_GE(Open(file, 200), 0);
    EXPECT_EQ(lib()->wu_ov_pcm_total(&vf_, -1), ref.Frames());
    EXPECT_DOUBLE_EQ(lib()->wu_ov_time_total(&vf_, -1), static_cast<double>(ref.Frames()) / 44100.0);
    EXPECT_EQ(ReadAll(), ref.samples);

    for (double t : {0.001, 0.5, 3.25, 7.0, 11.9}) {
        ASSERT_EQ(lib()->wu_ov_time_seek(&vf_, t), 0) << t;
        EXPECT_NEAR(lib()->wu_ov_time_tell(&vf_), t, 1.0 / 44100) << t;
        auto from = fixture::ReferenceDecodeFrom(ogg, t);
        char buf[8192];
        int32_t bs = 0;
        int32_t n = lib()->wu_ov_read(&vf_, buf, sizeof buf, 0, 2, 1, &bs);
        ASSERT_GT(n, 0) << t;
        ASSERT_LE(static_cast<size_t>(n) / 2, from.samples.size());
        EXPECT_EQ(std::memcmp(buf, from.samples.data(), static_cast<size_t>(n)), 0) << "after seeking to " << t;
    }
}

TEST_F(DecoderLibrary, GarbageIsRefusedAndTheSourceStaysWithTheCaller)
{
    std::vector<uint8_t> text(5000, 'a');
    auto stream = std::make_unique<TMemoryStream>();
    stream->Write(text.data(), text.size());
    stream->SetPosition(0);
    EXPECT_LT(lib()->wu_ov_open_callbacks(stream.get(), &vf_, nullptr, 0), 0);
    // Not closed by the library: still ours and usable (a sanitizer build would see a double free).
    EXPECT_EQ(stream->Size(), 5000);
    // A zero-filled record closes without effect.
    std::memset(&vf_, 0, sizeof vf_);
    lib()->wu_ov_clear(&vf_);
    // An empty stream too.
    TMemoryStream empty;
    EXPECT_LT(lib()->wu_ov_open_callbacks(&empty, &vf_, nullptr, 0), 0);
}

TEST_F(DecoderLibrary, ClearClosesTheDataSource)
{
    struct Counting {
        TMemoryStream stream;
        int closes = 0;
    } src;
    auto ogg = fixture::Encode(fixture::Sine(0.5));
    src.stream.Write(ogg.data(), ogg.size());
    src.stream.SetPosition(0);
    wu_ov_callbacks cb{
        [](void* p, size_t s, size_t n, void* d) { return _fread(p, s, n, &static_cast<Counting*>(d)->stream); },
        [](void* d, int64_t o, int w) { return _fseek(&static_cast<Counting*>(d)->stream, o, w); },
        [](void* d) {
            ++static_cast<Counting*>(d)->closes;
            return 0;
        },
        [](void* d) { return _ftell(&static_cast<Counting*>(d)->stream); }};
    // Straight at the library, with our own close to count on.
    lib()->Callbacks = cb;
    ASSERT_GE(lib()->wu_ov_open_callbacks(reinterpret_cast<TMemoryStream*>(&src), &vf_, nullptr, 0), 0);
    EXPECT_EQ(src.closes, 0);
    lib()->wu_ov_clear(&vf_);
    EXPECT_EQ(src.closes, 1);
    // The record is zero again after the close.
    wu_OggVorbis_File zero{};
    EXPECT_EQ(std::memcmp(&vf_, &zero, sizeof vf_), 0);
}

TEST_F(DecoderLibrary, ScaleOutputScalesReadSamplesAndClips)
{
    auto ogg = fixture::Encode(fixture::Sine(1.0, {440.0}, 2, 44100, 0.9));
    auto ref = fixture::ReferenceDecode(ogg);

    lib()->wu_ScaleOutput(0.5f);
    ASSERT_GE(Open(ogg), 0);
    auto half = ReadAll();
    lib()->wu_ov_clear(&vf_);
    open_ = false;

    lib()->wu_ScaleOutput(4.0f);
    ASSERT_GE(Open(ogg), 0);
    auto loud = ReadAll();
    lib()->wu_ov_clear(&vf_);
    open_ = false;

    lib()->wu_ScaleOutput(1.0f);
    ASSERT_GE(Open(ogg), 0);
    auto same = ReadAll();

    ASSERT_EQ(half.size(), ref.samples.size());
    ASSERT_EQ(loud.size(), ref.samples.size());
    EXPECT_EQ(same, ref.samples);
    bool clipped = false;
    for (size_t i = 0; i < ref.samples.size(); ++i) {
        int r = ref.samples[i];
        ASSERT_NEAR(half[i], r / 2.0, 0.5) << i;
        int expectLoud = std::clamp(r * 4, -32768, 32767);
        ASSERT_EQ(loud[i], expectLoud) << i;
        clipped |= expectLoud != r * 4;
    }
    EXPECT_TRUE(clipped) << "the fixture should reach the clipping range at 4x";
}

TEST_F(DecoderLibrary, DetectCpuReportsOnlyItsDocumentedBits)
{
    uint32_t bits = lib()->wu_DetectCPU();
    EXPECT_EQ(bits & ~0xE0000u, 0u);
#if defined(__x86_64__)
    EXPECT_NE(bits & WU_CPU_SSE2, 0u) << "every x86-64 processor has SSE2";
#endif
    lib()->wu_SetCPUType(bits);  // accepted, no effect on decoding
}

TEST(DecoderLibraryExports, ExactlyTheThirteenNames)
{
    std::string cmd = "nm -D --defined-only '" + DllPath() + "' 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(cmd.c_str(), "r"), ::pclose);
    ASSERT_TRUE(pipe);
    std::set<std::string> names;
    char line[512];
    while (std::fgets(line, sizeof line, pipe.get())) {
        std::string s(line);
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
            s.pop_back();
        size_t sp = s.rfind(' ');
        names.insert(sp == std::string::npos ? s : s.substr(sp + 1));
    }
    std::set<std::string> expected{"wu_SetCPUType",    "wu_DetectCPU",     "wu_ScaleOutput",       "wu_ov_clear",
                                   "wu_ov_open_callbacks", "wu_ov_info",   "wu_ov_comment",        "wu_ov_read",
                                   "wu_ov_time_total", "wu_ov_time_seek",  "wu_ov_time_tell",      "wu_ov_pcm_total",
                                   "wu_ov_seekable"};
    EXPECT_EQ(names, expected);
}

}
