// qvtool render IN OUT.wav [--seconds N] [--repeat] [--seek T] [--volume V:FADE] [--eq4 A,B,C,D]:
// renders a file exactly as the stream player does, one-second block after block, into a WAV file.
#include "QvCommand.h"

#include "EFileError.h"
#include "OggDataLib.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

constexpr int32_t kBlock = OutputFormat::BlockBytes;
constexpr int kDefaultBlocks = 600;
// A WAV file counts its bytes in 32 bits.
constexpr int kMaxBlocks = static_cast<int>((0xFFFFFFFFu - 44u) / kBlock);

bool ParseCount(const std::string& text, int& out)
{
    if (text.empty() || text[0] == '-' || text[0] == '+')
        return false;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v > kMaxBlocks)
        return false;
    out = static_cast<int>(v);
    return true;
}

// Floats separated by sep, exactly count of them.
bool ParseList(const std::string& text, char sep, float* out, size_t count)
{
    size_t from = 0;
    for (size_t i = 0; i < count; ++i) {
        size_t to = text.find(sep, from);
        if ((to == std::string::npos) != (i + 1 == count))
            return false;
        if (!QvParseFloat(text.substr(from, to == std::string::npos ? std::string::npos : to - from), out[i]))
            return false;
        from = to + 1;
    }
    return true;
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

void Put(std::FILE* f, const std::string& name, const void* data, size_t bytes)
{
    if (bytes > 0 && std::fwrite(data, 1, bytes, f) != bytes)
        throw EFileError::CannotWrite(name);
}

// The 44-byte header of PCM in the output format with dataBytes of samples.
void PutWaveHeader(std::FILE* f, const std::string& name, uint32_t dataBytes)
{
    uint8_t h[44];
    auto put32 = [&](int at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            h[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    auto put16 = [&](int at, uint16_t v) {
        h[at] = static_cast<uint8_t>(v);
        h[at + 1] = static_cast<uint8_t>(v >> 8);
    };
    const char tags[][5] = {"RIFF", "WAVE", "fmt ", "data"};
    const int at[] = {0, 8, 12, 36};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            h[at[i] + j] = static_cast<uint8_t>(tags[i][j]);
    put32(4, 36 + dataBytes);
    put32(16, 16);
    put16(20, 1);  // PCM
    put16(22, OutputFormat::Channels);
    put32(24, OutputFormat::Rate);
    put32(28, OutputFormat::BytesPerSecond);
    put16(32, OutputFormat::BytesPerFrame);
    put16(34, OutputFormat::BitsPerSample);
    put32(40, dataBytes);
    Put(f, name, h, sizeof h);
}

int QvRender(const std::vector<std::string>& args)
{
    std::vector<std::string> files;
    int blocks = kDefaultBlocks;
    bool repeat = false;
    bool seek = false;
    float seekTo = 0.0f;
    bool volume = false;
    float volumeFade[2] = {1.0f, 0.0f};
    bool eq = false;
    float bands[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--repeat") {
            repeat = true;
        } else if (a == "--seconds") {
            if (!hasValue || !ParseCount(args[++i], blocks)) {
                std::fprintf(stderr, "--seconds wants a whole number from 0 to %d\n", kMaxBlocks);
                return QvUsage;
            }
        } else if (a == "--seek") {
            if (!hasValue || !QvParseFloat(args[++i], seekTo)) {
                std::fprintf(stderr, "--seek wants a time in seconds\n");
                return QvUsage;
            }
            seek = true;
        } else if (a == "--volume") {
            if (!hasValue || !ParseList(args[++i], ':', volumeFade, 2)) {
                std::fprintf(stderr, "--volume wants VOLUME:FADE\n");
                return QvUsage;
            }
            volume = true;
        } else if (a == "--eq4") {
            if (!hasValue || !ParseList(args[++i], ',', bands, 4)) {
                std::fprintf(stderr, "--eq4 wants four gains A,B,C,D\n");
                return QvUsage;
            }
            eq = true;
        } else if (!QvTakeOperand(a, files)) {
            return QvUsage;
        }
    }
    if (files.size() != 2)
        return QvUsage;

    // The render memory of the stream player's size: blocks of the same size, the same step.
    TOggData data(OutputFormat::StreamBufferBytes);
    if (!QvOpen(data, files[0]))
        return QvFailed;
    if (seek)
        data.TimeSeek(seekTo);
    data.Play(repeat);
    if (volume)
        data.SetVolume(volumeFade[0], volumeFade[1]);
    if (eq)
        data.SetEQ4(bands[0], bands[1], bands[2], bands[3], 0.0f);

    std::unique_ptr<std::FILE, FileCloser> out(std::fopen(files[1].c_str(), "wb"));
    if (!out)
        throw EFileError::CannotCreate(files[1]);
    PutWaveHeader(out.get(), files[1], 0);
    uint32_t written = 0;
    std::vector<uint8_t> block(kBlock);
    for (int b = 0; b < blocks; ++b) {
        data.RenderBlock(block, {}, false);
        Put(out.get(), files[1], block.data(), block.size());
        written += kBlock;
        if (data.GetPlayState() == psSTOP)
            break;
    }
    if (std::fseek(out.get(), 0, SEEK_SET) != 0)
        throw EFileError::CannotWrite(files[1]);
    PutWaveHeader(out.get(), files[1], written);
    if (std::fclose(out.release()) != 0)
        throw EFileError::CannotWrite(files[1]);
    return QvOk;
}

QvRegistrar registrar{"render", "render IN OUT.wav [--seconds N] [--repeat] [--seek T] [--volume V:FADE] [--eq4 A,B,C,D]",
                      QvRender};

}
