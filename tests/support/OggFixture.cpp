#include "OggFixture.h"

#include "BuildPaths.h"

#include <vorbis/codec.h>
#include <vorbis/vorbisenc.h>
#include <vorbis/vorbisfile.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <unistd.h>

namespace fs = std::filesystem;

namespace fixture {

namespace {
// PCM of the given length with every sample zero, for the generators to fill.
Pcm Blank(double seconds, int channels, int rate)
{
    Pcm p;
    p.channels = channels;
    p.rate = rate;
    p.samples.assign(static_cast<size_t>(static_cast<int64_t>(seconds * rate) * channels), 0.0f);
    return p;
}
}

Pcm Sine(double seconds, std::vector<double> freqs, int channels, int rate, double amplitude)
{
    Pcm p = Blank(seconds, channels, rate);
    const int64_t frames = p.Frames();
    for (int64_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c) {
            double f = freqs.empty() ? 440.0 : freqs[std::min<size_t>(static_cast<size_t>(c), freqs.size() - 1)];
            p.samples[static_cast<size_t>(i * channels + c)] =
                static_cast<float>(amplitude * std::sin(2.0 * M_PI * f * static_cast<double>(i) / rate));
        }
    return p;
}

Pcm Noise(double seconds, int channels, int rate, double amplitude, uint32_t seed)
{
    Pcm p = Blank(seconds, channels, rate);
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> dist(static_cast<float>(-amplitude), static_cast<float>(amplitude));
    for (auto& s : p.samples)
        s = dist(gen);
    return p;
}

Pcm Silence(double seconds, int channels, int rate)
{
    return Blank(seconds, channels, rate);
}

Pcm Ramp(double seconds, int channels, int rate, double amplitude)
{
    Pcm p = Blank(seconds, channels, rate);
    const int64_t frames = p.Frames();
    for (int64_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            p.samples[static_cast<size_t>(i * channels + c)] =
                static_cast<float>(-amplitude + 2.0 * amplitude * static_cast<double>(i) / std::max<int64_t>(frames - 1, 1));
    return p;
}

std::vector<uint8_t> Encode(const Pcm& pcm, const std::vector<std::string>& comments, float quality, int serial)
{
    vorbis_info vi;
    vorbis_info_init(&vi);
    if (vorbis_encode_init_vbr(&vi, pcm.channels, pcm.rate, quality) != 0) {
        vorbis_info_clear(&vi);
        throw std::runtime_error("vorbis_encode_init_vbr failed");
    }
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    for (const auto& c : comments)
        vorbis_comment_add(&vc, c.c_str());
    vorbis_dsp_state vd;
    vorbis_block vb;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block_init(&vd, &vb);
    ogg_stream_state os;
    ogg_stream_init(&os, serial);

    std::vector<uint8_t> out;
    auto put = [&](const ogg_page& og) {
        out.insert(out.end(), og.header, og.header + og.header_len);
        out.insert(out.end(), og.body, og.body + og.body_len);
    };
    ogg_packet h, hc, hcode;
    vorbis_analysis_headerout(&vd, &vc, &h, &hc, &hcode);
    ogg_stream_packetin(&os, &h);
    ogg_stream_packetin(&os, &hc);
    ogg_stream_packetin(&os, &hcode);
    ogg_page og;
    while (ogg_stream_flush(&os, &og))
        put(og);

    const int64_t frames = pcm.Frames();
    const int64_t chunk = 1024;
    ogg_packet op;
    auto drain = [&]() {
        while (vorbis_analysis_blockout(&vd, &vb) == 1) {
            vorbis_analysis(&vb, nullptr);
            vorbis_bitrate_addblock(&vb);
            while (vorbis_bitrate_flushpacket(&vd, &op)) {
                ogg_stream_packetin(&os, &op);
                while (ogg_stream_pageout(&os, &og))
                    put(og);
            }
        }
    };
    for (int64_t pos = 0; pos < frames; pos += chunk) {
        int64_t n = std::min(chunk, frames - pos);
        float** buf = vorbis_analysis_buffer(&vd, static_cast<int>(n));
        for (int64_t i = 0; i < n; ++i)
            for (int c = 0; c < pcm.channels; ++c)
                buf[c][i] = pcm.samples[static_cast<size_t>((pos + i) * pcm.channels + c)];
        vorbis_analysis_wrote(&vd, static_cast<int>(n));
        drain();
    }
    vorbis_analysis_wrote(&vd, 0);
    drain();
    while (ogg_stream_flush(&os, &og))
        put(og);

    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    return out;
}

std::vector<uint8_t> ShiftPositions(std::vector<uint8_t> bytes, int64_t by)
{
    for (size_t at = 0; at + 27 <= bytes.size();) {
        uint8_t* p = bytes.data() + at;
        const size_t header = 27 + p[26];
        if (std::memcmp(p, "OggS", 4) != 0 || at + header > bytes.size())
            throw std::runtime_error("ShiftPositions: not a whole page");
        size_t body = 0;
        for (int i = 0; i < p[26]; ++i)
            body += p[27 + i];
        int64_t granule = 0;
        std::memcpy(&granule, p + 6, 8);
        if (granule > 0) {
            granule += by;
            std::memcpy(p + 6, &granule, 8);
            ogg_page page{p, static_cast<long>(header), p + header, static_cast<long>(body)};
            ogg_page_checksum_set(&page);
        }
        at += header + body;
    }
    return bytes;
}

namespace {
struct TempDirHolder {
    std::string path;
    TempDirHolder()
    {
        std::string base = fs::temp_directory_path().string() + "/ostra-test-" + std::to_string(::getpid()) + "-XXXXXX";
        std::vector<char> buf(base.begin(), base.end());
        buf.push_back('\0');
        if (!::mkdtemp(buf.data()))
            throw std::runtime_error("mkdtemp failed");
        path = buf.data();
    }
    ~TempDirHolder()
    {
        std::error_code ec;
        if (!std::getenv("OSTRA_KEEP_TEMP"))
            fs::remove_all(path, ec);
    }
};
}

std::string TempDir()
{
    static TempDirHolder holder;
    return holder.path;
}

std::string WriteTemp(const std::vector<uint8_t>& bytes, const std::string& name)
{
    std::string path = TempDir() + "/" + name;
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!f)
        throw std::runtime_error("cannot write " + path);
    return path;
}

std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    if (!f)
        throw std::runtime_error("cannot read " + path);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

std::string ReadText(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::string FreshDir(const std::string& name)
{
    static std::atomic<int> counter{0};
    const std::string dir = TempDir() + "/" + name + "-" + std::to_string(++counter) + "/";
    fs::create_directories(dir);
    return dir;
}

std::string MakeOgg(const std::string& name, double seconds, const std::string& title)
{
    std::vector<std::string> comments;
    if (!title.empty())
        comments.push_back("TITLE=" + title);
    return WriteTemp(Encode(Sine(seconds), comments, 0.0f), name);
}

std::string MakeQv(const std::string& name, double seconds, float loopStart, float loopEnd, int32_t count)
{
    std::vector<uint8_t> bytes = ContainerHeader({{loopStart, loopEnd, count}});
    const std::vector<uint8_t> ogg = Encode(Sine(seconds), {}, 0.0f);
    bytes.insert(bytes.end(), ogg.begin(), ogg.end());
    return WriteTemp(bytes, name);
}

std::string MakeFile(const std::string& name, const std::string& bytes)
{
    return WriteTemp(std::vector<uint8_t>(bytes.begin(), bytes.end()), name);
}

namespace {
struct MemSource {
    const std::vector<uint8_t>* bytes;
    size_t pos = 0;
};

size_t MemRead(void* ptr, size_t size, size_t nmemb, void* ds)
{
    auto* m = static_cast<MemSource*>(ds);
    size_t want = size * nmemb;
    size_t n = std::min(want, m->bytes->size() - std::min(m->pos, m->bytes->size()));
    std::memcpy(ptr, m->bytes->data() + m->pos, n);
    m->pos += n;
    return size ? n / size : 0;
}

int MemSeek(void* ds, ogg_int64_t off, int whence)
{
    auto* m = static_cast<MemSource*>(ds);
    int64_t base = whence == SEEK_CUR ? static_cast<int64_t>(m->pos)
                   : whence == SEEK_END ? static_cast<int64_t>(m->bytes->size())
                                        : 0;
    int64_t p = base + off;
    if (p < 0)
        return -1;
    m->pos = static_cast<size_t>(p);
    return 0;
}

long MemTell(void* ds) { return static_cast<long>(static_cast<MemSource*>(ds)->pos); }

Decoded DecodeFrom(const std::vector<uint8_t>& bytes, double seconds)
{
    MemSource src{&bytes, 0};
    ov_callbacks cb{MemRead, MemSeek, nullptr, MemTell};
    OggVorbis_File vf;
    if (ov_open_callbacks(&src, &vf, nullptr, 0, cb) < 0)
        throw std::runtime_error("reference decoder cannot open the stream");
    Decoded d;
    vorbis_info* vi = ov_info(&vf, -1);
    d.channels = vi->channels;
    d.rate = vi->rate;
    if (seconds > 0)
        ov_time_seek(&vf, seconds);
    char buf[8192];
    int bs = 0;
    for (;;) {
        long n = ov_read(&vf, buf, sizeof buf, 0, 2, 1, &bs);
        if (n == 0)
            break;
        if (n < 0)
            continue;
        size_t old = d.samples.size();
        d.samples.resize(old + static_cast<size_t>(n) / 2);
        std::memcpy(d.samples.data() + old, buf, static_cast<size_t>(n));
    }
    ov_clear(&vf);
    return d;
}
}

Decoded ReferenceDecode(const std::vector<uint8_t>& bytes) { return DecodeFrom(bytes, 0.0); }

Decoded ReferenceDecode(const std::string& path) { return DecodeFrom(ReadFile(path), 0.0); }

Decoded ReferenceDecodeFrom(const std::vector<uint8_t>& bytes, double seconds) { return DecodeFrom(bytes, seconds); }

std::vector<uint8_t> ContainerHeader(const std::vector<LoopEntry>& loops)
{
    std::vector<uint8_t> h(200, 0);
    std::memcpy(h.data(), "OSTRAOGG", 8);
    for (size_t i = 0; i < loops.size() && i < 16; ++i) {
        std::memcpy(h.data() + 8 + 12 * i, &loops[i].start, 4);
        std::memcpy(h.data() + 12 + 12 * i, &loops[i].end, 4);
        std::memcpy(h.data() + 16 + 12 * i, &loops[i].count, 4);
    }
    return h;
}

std::string BinDir() { return buildpaths::BinDir; }

long long ProcessReadBytes()
{
    std::ifstream io("/proc/self/io");
    std::string key;
    long long value = 0;
    while (io >> key >> value)
        if (key == "rchar:")
            return value;
    return -1;
}

}
