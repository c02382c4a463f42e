// The decoder library wuvorbis.dll, driven through the binding: exact decoding, the container's
// offset start, the output scale and the export list.
#include "OggFixture.h"
#include "OggWuvorbisLib.h"
#include "TMemoryStream.h"

#include <gtest/gtest.h>
#include <ogg/ogg.h>
#include <vorbis/codec.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

std::string DllPath() { return fixture::BinDir() + "/wuvorbis.dll"; }

// A codebook as a setup header stores it. A length of 0 marks an unused entry (the book is then
// written sparse); ordered books must list their lengths rising, without unused entries.
struct Book {
    std::vector<int> lengths;
    bool ordered = false;
    int dim = 1;
    int lookup = 0;  // 0 none; 1 or 2: a vector lookup of `values` 4-bit values
    int values = 0;
};

class Bits {
public:
    Bits() { oggpack_writeinit(&b_); }
    ~Bits() { oggpack_writeclear(&b_); }
    Bits(const Bits&) = delete;
    Bits& operator=(const Bits&) = delete;
    Bits& Put(unsigned long value, int bits)
    {
        oggpack_write(&b_, value, bits);
        return *this;
    }
    Bits& Head(int type, const char* tag = "vorbis")
    {
        Put(static_cast<unsigned long>(type), 8);
        for (const char* c = tag; *c; ++c)
            Put(static_cast<unsigned char>(*c), 8);
        return *this;
    }
    std::vector<unsigned char> Bytes() { return {oggpack_get_buffer(&b_), oggpack_get_buffer(&b_) + oggpack_bytes(&b_)}; }

private:
    oggpack_buffer b_;
};

int ILog(long v)
{
    int n = 0;
    for (; v > 0; v >>= 1)
        ++n;
    return n;
}

void PutBook(Bits& bits, const Book& book)
{
    const long entries = static_cast<long>(book.lengths.size());
    bits.Put(0x564342, 24).Put(static_cast<unsigned long>(book.dim), 16).Put(static_cast<unsigned long>(entries), 24);
    bits.Put(book.ordered, 1);
    if (book.ordered) {
        bits.Put(static_cast<unsigned long>(book.lengths.front() - 1), 5);
        for (long i = 0, length = book.lengths.front(); i < entries; ++length) {
            const long run = std::count(book.lengths.begin(), book.lengths.end(), length);
            bits.Put(static_cast<unsigned long>(run), ILog(entries - i));
            i += run;
        }
    } else {
        const bool sparse = std::count(book.lengths.begin(), book.lengths.end(), 0) > 0;
        bits.Put(sparse, 1);
        for (int length : book.lengths) {
            if (sparse)
                bits.Put(length != 0, 1);
            if (length != 0)
                bits.Put(static_cast<unsigned long>(length - 1), 5);
        }
    }
    bits.Put(static_cast<unsigned long>(book.lookup), 4);
    if (book.lookup != 0) {
        bits.Put(0, 32).Put(0, 32).Put(3, 4).Put(0, 1);  // minimum, delta, 4-bit values, no sequence
        for (int v = 0; v < book.values; ++v)
            bits.Put(static_cast<unsigned long>(v & 15), 4);
    }
}

// A mono stream whose setup header holds a usable first book (the residue's) and then books:
// its three headers and one page of two short silent blocks.
std::vector<uint8_t> StreamWithBooks(const std::vector<Book>& books, int serial = 7)
{
    Bits id, comment, setup;
    id.Head(1).Put(0, 32).Put(1, 8).Put(44100, 32).Put(0, 32).Put(0, 32).Put(0, 32).Put(8, 4).Put(11, 4).Put(1, 1);
    comment.Head(3).Put(1, 32).Put('x', 8).Put(0, 32).Put(1, 1);
    setup.Head(5).Put(books.size(), 8);
    PutBook(setup, Book{{1, 1}});
    for (const Book& b : books)
        PutBook(setup, b);
    setup.Put(0, 6).Put(0, 16);                                        // one time slot
    setup.Put(0, 6).Put(1, 16).Put(0, 5).Put(1, 2).Put(7, 4);           // floor 1, no partitions
    setup.Put(0, 6).Put(0, 16).Put(0, 24).Put(0, 24).Put(31, 24);       // residue 0 over nothing
    setup.Put(0, 6).Put(0, 8).Put(0, 3).Put(0, 1);                      // one class, book 0
    setup.Put(0, 6).Put(0, 16).Put(0, 1).Put(0, 1).Put(0, 2);           // mapping 0
    setup.Put(0, 8).Put(0, 8).Put(0, 8);                                // its one submap
    setup.Put(0, 6).Put(0, 1).Put(0, 16).Put(0, 16).Put(0, 8).Put(1, 1);  // one mode, framing

    ogg_stream_state os;
    ogg_stream_init(&os, serial);
    std::vector<uint8_t> out;
    auto put = [&](std::vector<unsigned char> bytes, int64_t granule, bool bos, bool eos, bool flush) {
        ogg_packet p{bytes.data(), static_cast<long>(bytes.size()), bos, eos, granule, 0};
        ogg_stream_packetin(&os, &p);
        ogg_page page;
        while (flush && ogg_stream_flush(&os, &page)) {
            out.insert(out.end(), page.header, page.header + page.header_len);
            out.insert(out.end(), page.body, page.body + page.body_len);
        }
    };
    put(id.Bytes(), 0, true, false, true);
    put(comment.Bytes(), 0, false, false, false);
    put(setup.Bytes(), 0, false, false, true);
    put({0}, 0, false, false, false);
    put({0}, 128, false, true, true);
    ogg_stream_clear(&os);
    return out;
}

// The stream with every page given another serial number.
std::vector<uint8_t> Reserial(const std::vector<uint8_t>& ogg, uint32_t serial)
{
    std::vector<uint8_t> out;
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    std::memcpy(ogg_sync_buffer(&sync, static_cast<long>(ogg.size())), ogg.data(), ogg.size());
    ogg_sync_wrote(&sync, static_cast<long>(ogg.size()));
    for (ogg_page page; ogg_sync_pageout(&sync, &page) == 1;) {
        for (int i = 0; i < 4; ++i)
            page.header[14 + i] = static_cast<unsigned char>(serial >> (8 * i));
        ogg_page_checksum_set(&page);
        out.insert(out.end(), page.header, page.header + page.header_len);
        out.insert(out.end(), page.body, page.body + page.body_len);
    }
    ogg_sync_clear(&sync);
    return out;
}

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

    // Opens bytes with a source that can seek or one that cannot; the open's answer, the decoder
    // closed again.
    int OpenAndClose(const std::vector<uint8_t>& bytes, bool seekable)
    {
        const wu_ov_callbacks normal = lib()->Callbacks;
        if (!seekable)
            lib()->Callbacks.seek_func = [](void*, int64_t, int) { return -1; };
        const int r = Open(bytes);
        lib()->Callbacks = normal;
        if (open_)
            lib()->wu_ov_clear(&vf_);
        open_ = false;
        return r;
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

// libvorbis takes codebooks whose lengths form no whole prefix code and later divides by zero
// decoding with them: such a stream is refused at open, and every book a decoder can build is taken.
TEST_F(DecoderLibrary, RefusesAtOpenExactlyTheCodebooksThatCannotBeBuilt)
{
    const std::vector<int> ten{2, 2, 2, 3, 4, 5, 6, 7, 8, 8};
    const Book lookup1{ten, false, 2, 1, 3};              // 3 x 3 <= 10 entries < 4 x 4
    const Book lookup2{{1, 2, 3, 3}, false, 3, 2, 12};    // 4 entries of 3 values each
    struct Case {
        const char* what;
        std::vector<Book> books;
        bool opens;
    } cases[] = {
        {"a whole code", {{{1, 2, 3, 3}}}, true},
        {"a single entry", {{{1}}}, true},
        {"one used entry of a sparse book", {{{0, 0, 5, 0}}}, true},
        {"no used entry", {{{0, 0, 0}}}, true},
        {"a sparse whole code", {{{2, 0, 2, 0, 1}}}, true},
        {"an ordered whole code", {{{1, 2, 3, 3}, true}}, true},
        {"whole codes behind vector lookups", {lookup1, lookup2, {{1, 1}}}, true},
        {"too few codes", {{{1, 2, 3}}}, false},
        {"too many codes", {{{1, 1, 2}}}, false},
        {"too few codes, ordered", {{{1, 2, 3}, true}}, false},
        {"too few codes in a sparse book", {{{0, 1, 0, 2}}}, false},
        {"a book of no dimension", {{{1, 1}, false, 0}}, false},
        {"too few codes behind vector lookups", {lookup1, lookup2, {{1, 2}}}, false},
    };
    for (const Case& c : cases) {
        const auto ogg = StreamWithBooks(c.books);
        for (bool seekable : {true, false})
            EXPECT_EQ(OpenAndClose(ogg, seekable), c.opens ? 0 : OV_EBADHEADER) << c.what << (seekable ? "" : ", not seekable");
    }
}

// Every link of a chained stream is checked, and decoding goes on from where the check found the source.
TEST_F(DecoderLibrary, ChecksTheCodebooksOfEveryLink)
{
    auto join = [](std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const auto first = fixture::Encode(fixture::Noise(1.5), {}, 0.1f);
    const auto chained = join(first, Reserial(fixture::Encode(fixture::Sine(1.0)), 99));
    const auto ref = fixture::ReferenceDecode(chained);
    ASSERT_GE(Open(chained, 0), 0);
    EXPECT_EQ(lib()->wu_ov_pcm_total(&vf_, -1), ref.Frames());
    EXPECT_EQ(ReadAll(), ref.samples);
    lib()->wu_ov_clear(&vf_);
    open_ = false;

    const auto bad = StreamWithBooks({{{1, 2, 3}}}, 5);
    EXPECT_EQ(OpenAndClose(join(first, bad), true), OV_EBADHEADER);
    EXPECT_EQ(OpenAndClose(join(bad, first), true), OV_EBADHEADER);
    // A source that cannot seek shows the decoder its first link only.
    EXPECT_EQ(OpenAndClose(join(first, bad), false), 0);
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
