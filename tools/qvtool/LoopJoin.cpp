#include "LoopJoin.h"

#include "LoopFit.h"
#include "QvCommand.h"
#include "QvWriter.h"
#include "ERangeError.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <stdexcept>

namespace {

// The converted path cannot seek closer to the start than this (the engine holds a seek off the
// very start), so a render from there starts at frame 0 instead.
constexpr double kSeekGuardSeconds = 0.002;
// The level below which the piece counts as silent: a difference is measured against at least
// this much sound, so that a click in a silence is heard as the click it is.
constexpr double kLevelFloor = 32768.0 * 0.001;  // -60 dB of full scale

// The comparison is made below this frequency. Above it the encoder keeps a sound's spectrum but
// not its waveform (noise filling, channels coupled into one), so two encodings of the same sound
// differ there however seamless the join; below it the waveform is kept, and a step, a click or
// a repeat that does not line up shows plainly.
constexpr double kCompareHz = 5000.0;
constexpr int kTaps = 127;

// A low-pass filter (a windowed sinc) of both channels, the same for every render compared, so
// that the difference of two filtered renders is the filtered difference.
std::vector<int16_t> LowPass(const std::vector<int16_t>& in)
{
    static const std::vector<double> taps = [] {
        std::vector<double> t(kTaps);
        const double fc = kCompareHz / OutputFormat::Rate;
        double sum = 0.0;
        for (int i = 0; i < kTaps; ++i) {
            const double x = i - (kTaps - 1) / 2.0;
            const double sinc = x == 0.0 ? 2.0 * fc : std::sin(2.0 * std::numbers::pi * fc * x) / (std::numbers::pi * x);
            const double blackman = 0.42 - 0.5 * std::cos(2.0 * std::numbers::pi * i / (kTaps - 1)) +
                                    0.08 * std::cos(4.0 * std::numbers::pi * i / (kTaps - 1));
            t[static_cast<size_t>(i)] = sinc * blackman;
            sum += t[static_cast<size_t>(i)];
        }
        for (double& v : t)
            v /= sum;
        return t;
    }();
    const auto frames = static_cast<int64_t>(in.size() / 2);
    std::vector<int16_t> out(in.size());
    for (int64_t f = 0; f < frames; ++f)
        for (int ch = 0; ch < 2; ++ch) {
            double acc = 0.0;
            for (int k = 0; k < kTaps; ++k) {
                const int64_t at = f + k - (kTaps - 1) / 2;
                if (at >= 0 && at < frames)
                    acc += taps[static_cast<size_t>(k)] * in[static_cast<size_t>(at * 2 + ch)];
            }
            out[static_cast<size_t>(f * 2 + ch)] = static_cast<int16_t>(std::clamp(std::lround(acc), -32768L, 32767L));
        }
    return out;
}

double Energy(const std::vector<int16_t>& a, size_t from, size_t to)
{
    double e = 0.0;
    for (size_t i = from; i < to && i < a.size(); ++i)
        e += static_cast<double>(a[i]) * a[i];
    return e;
}

double Difference(const std::vector<int16_t>& a, const std::vector<int16_t>& b, size_t from, size_t to)
{
    double e = 0.0;
    for (size_t i = from; i < to && i < a.size() && i < b.size(); ++i) {
        const double d = static_cast<double>(a[i]) - b[i];
        e += d * d;
    }
    return e;
}

}

std::string TLoopJoin::Refusal(const std::string& fileName)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(fileName, ec))
        return fileName + ": no such file";
    const auto size = std::filesystem::file_size(fileName, ec);
    if (ec || size == 0)
        return fileName + ": the file is empty";
    std::ifstream in(fileName, std::ios::binary);
    char head[TQvWriter::HeaderSize + 4] = {};
    in.read(head, sizeof head);
    const auto got = static_cast<size_t>(in.gcount());
    const bool ogg = got >= 4 && std::memcmp(head, "OggS", 4) == 0;
    const bool container = got == sizeof head && std::memcmp(head, "OSTRAOGG", 8) == 0 &&
                           std::memcmp(head + TQvWriter::HeaderSize, "OggS", 4) == 0;
    if (!ogg && !container)
        return fileName + ": not an Ogg Vorbis file or looped-Ogg container";
    return {};
}

TLoopJoin::TLoopJoin(std::string fileName) : file_(std::move(fileName))
{
    if (const std::string refusal = Refusal(file_); !refusal.empty())
        throw std::runtime_error(refusal);
    TOggData data(OutputFormat::StreamBufferBytes);
    try {
        if (!QvOpen(data, file_))
            throw std::runtime_error(file_ + ": cannot be read");
    } catch (const ERangeError&) {
        throw std::runtime_error(file_ + ": the Ogg stream cannot be decoded as Vorbis");
    }
    if (!data.Renderable() || data.PcmBytes <= 0)
        throw std::runtime_error(file_ + ": the stream holds no sound the player can render");
    rate_ = data.Rate;
    total_ = data.PcmBytes / OutputFormat::BytesPerFrame;
    container_ = data.DataStart > 0;
    dataStart_ = data.DataStart;
    totalTime_ = data.TotalTime;
    std::memcpy(loops_, data.Loops, sizeof loops_);
}

std::vector<int16_t> TLoopJoin::Render(const TOggLoop* entry, int64_t from, int64_t frames) const
{
    TOggData data(OutputFormat::StreamBufferBytes);
    if (!data.LoadOgg(file_))
        throw std::runtime_error("cannot open " + file_);
    std::memset(data.Loops, 0, sizeof data.Loops);
    if (entry)
        data.Loops[0] = {entry->LoopStart, entry->LoopEnd, -1};

    // Streams played directly are started at a whole second, as a block of playback from the
    // start would be, and the frames before `from` are dropped: the loop end is then measured
    // from where playback measures it. Converted streams measure it from the decoder's exact
    // place, so they start right at `from` (the middle of the frame, which the seek cuts down to).
    int64_t skip = 0;
    if (!Converted()) {
        const int64_t second = from / rate_;
        skip = from - second * rate_;
        if (second > 0)
            data.TimeSeek(static_cast<float>(second));
    } else if (from > 0) {
        data.TimeSeek(static_cast<float>((static_cast<double>(from) + 0.5) / rate_));
    }
    data.Play(false);
    const int64_t want = skip + frames;
    std::vector<int16_t> out(static_cast<size_t>(want) * OutputFormat::Channels, 0);
    // One request: the loop step checks the whole of it, so the jump is taken wherever in it the
    // end falls.
    data.RenderingToPointer(out.data(), static_cast<int32_t>(want * OutputFormat::BytesPerFrame));
    out.erase(out.begin(), out.begin() + static_cast<ptrdiff_t>(skip * OutputFormat::Channels));
    return out;
}

std::vector<uint8_t> TLoopJoin::OggBytes() const
{
    std::ifstream in(file_, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.eof() && !in)
        throw std::runtime_error(file_ + ": cannot be read");
    bytes.erase(bytes.begin(), bytes.begin() + std::min<ptrdiff_t>(dataStart_, static_cast<ptrdiff_t>(bytes.size())));
    return bytes;
}

std::vector<int16_t> TLoopJoin::RenderAll() const
{
    TOggData data(OutputFormat::StreamBufferBytes);
    if (!data.LoadOgg(file_))
        throw std::runtime_error("cannot open " + file_);
    std::memset(data.Loops, 0, sizeof data.Loops);
    data.Play(false);
    std::vector<int16_t> out;
    const auto expected = static_cast<double>(total_) * OutputFormat::Rate / rate_;
    out.reserve(static_cast<size_t>(expected + OutputFormat::Rate) * OutputFormat::Channels);
    std::vector<uint8_t> block(OutputFormat::BlockBytes);
    while (data.GetPlayState() != psSTOP) {
        const int32_t sound = data.RenderBlock(block, {}, false);
        if (sound <= 0)
            break;
        const auto* s = reinterpret_cast<const int16_t*>(block.data());
        out.insert(out.end(), s, s + sound / static_cast<int32_t>(sizeof(int16_t)));
    }
    return out;
}

TLoopJoin::TScore TLoopJoin::Score(const TOggLoop& entry) const
{
    TScore score;
    const TLoopFit fit(rate_, total_);
    score.StartFrame = fit.StartFrame(entry.LoopStart);
    score.EndFrame = fit.EndFrame(entry.LoopEnd);
    // An end beyond the stream is never reached (the engine allows its own length's rounding).
    if (!(entry.LoopEnd <= totalTime_ + 0.001f))
        score.EndFrame = -1;
    if (score.StartFrame < 0 || score.EndFrame < 0 || score.StartFrame >= total_)
        return score;
    const int64_t s = score.StartFrame;
    const int64_t e = std::min(score.EndFrame, total_);
    const double toOut = static_cast<double>(OutputFormat::Rate) / rate_;
    const auto side = static_cast<int64_t>(std::lround(SideFrames / toOut));
    const auto guard = static_cast<int64_t>(std::ceil(kSeekGuardSeconds * rate_));

    // Frames before the jump that each render starts with: the same for the looped render and
    // its reference, so that the two share the output's grid of frames. A render may start at
    // frame 0 or beyond the guard, not in between (on the direct path it starts at a whole
    // second and this never matters).
    auto startsWell = [&](int64_t at) { return !Converted() || at <= 0 || at >= guard; };
    // What follows the jump is compared with what follows the end when the piece goes on there.
    // When it does not (a loop to the piece's last frame), what leads up to the end is compared
    // with what leads up to the start instead.
    const bool after = e + side <= total_;
    int64_t pre = std::min(side, e);
    if (after && !startsWell(e - pre))
        pre = e;
    if (!after) {
        pre = std::min(pre, s);
        if (!startsWell(s - pre))
            pre = s;
        if (pre < side / 4 || !startsWell(e - pre))
            return score;
    }

    const auto join = static_cast<int64_t>(std::lround(static_cast<double>(pre) * toOut));
    const int64_t frames = join + SideFrames;
    const std::vector<int16_t> played = LowPass(Render(&entry, e - pre, frames));
    const auto joinAt = static_cast<size_t>(join * OutputFormat::Channels);
    const size_t end = played.size();
    double difference = 0.0;
    double level = 0.0;
    double compared = 0.0;
    if (after) {
        const std::vector<int16_t> straight = LowPass(Render(nullptr, e - pre, frames));
        difference += Difference(played, straight, 0, end);
        level += Energy(straight, joinAt, end);
        compared += static_cast<double>(end - joinAt);
    }
    else {
        const std::vector<int16_t> approach = LowPass(Render(nullptr, s - pre, frames));
        difference += Difference(played, approach, 0, end);
        level += Energy(approach, 0, joinAt);
        compared += static_cast<double>(joinAt);
    }
    level = std::max(level, compared * kLevelFloor * kLevelFloor);
    score.Judged = true;
    score.Db = difference > 0.0 ? std::max(FloorDb, 10.0 * std::log10(difference / level)) : FloorDb;
    return score;
}
