// qvtool render IN OUT.wav [--seconds N] [--repeat] [--seek T] [--volume V:FADE] [--eq4 A,B,C,D]
// [--force]: renders a file exactly as the stream player does, one-second block after block, into
// a WAV file. The file appears only once it is whole: a full disk leaves nothing behind.
#include "QvCommand.h"

#include "AtomicFile.h"
#include "OggDataLib.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <csignal>
#include <pthread.h>
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

// The 44-byte header of PCM in the output format with dataBytes of samples.
std::vector<uint8_t> WaveHeader(uint32_t dataBytes)
{
    std::vector<uint8_t> h(44);
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
    return h;
}

// Holds back Ctrl-C, SIGTERM and SIGHUP while a WAV file is made, so that an interrupted render
// can remove its temporary file instead of leaving it behind; they are looked for between blocks.
class TInterrupts {
public:
    TInterrupts()
    {
        sigemptyset(&set_);
        for (int s : {SIGINT, SIGTERM, SIGHUP})
            sigaddset(&set_, s);
        pthread_sigmask(SIG_BLOCK, &set_, &old_);
    }
    // The signal held back is delivered as the mask comes off: the process ends as it would have.
    ~TInterrupts() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
    TInterrupts(const TInterrupts&) = delete;
    TInterrupts& operator=(const TInterrupts&) = delete;

    bool Pending() const
    {
        sigset_t pending;
        sigpending(&pending);
        for (int s : {SIGINT, SIGTERM, SIGHUP})
            if (sigismember(&pending, s) == 1)
                return true;
        return false;
    }

private:
    sigset_t set_{};
    sigset_t old_{};
};

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
    bool force = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--repeat") {
            repeat = true;
        } else if (a == "--force") {
            force = true;
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
    if (!QvMayWrite(files[1], {files[0]}, force))
        return QvFailed;

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

    // Made beside the target and renamed to it only once complete (EFileError otherwise, with
    // the system's reason; main says it).
    const TInterrupts interrupts;
    TAtomicFile out(files[1], force ? TAtomicFile::Replace : TAtomicFile::NoReplace);
    out.Put(WaveHeader(0).data(), 44);
    uint32_t written = 0;
    std::vector<uint8_t> block(kBlock);
    for (int b = 0; b < blocks; ++b) {
        if (interrupts.Pending()) {
            // The temporary file goes with `out`; then the signal ends the process.
            std::fprintf(stderr, "%s: interrupted, not written\n", files[1].c_str());
            return QvFailed;
        }
        data.RenderBlock(block, {}, false);
        out.Put(block.data(), block.size());
        written += kBlock;
        if (data.GetPlayState() == psSTOP)
            break;
    }
    out.PutAt(0, WaveHeader(written).data(), 44);
    out.Commit();
    return QvOk;
}

QvRegistrar registrar{"render", "render IN OUT.wav [--seconds N] [--repeat] [--seek T] [--volume V:FADE] [--eq4 A,B,C,D] [--force]",
                      QvRender};

}
